#pragma once
// A channel: one quantity of the instrument as the user sees it. It ties one or two
// registers to a name, an access mode, a display format, a valid range and, for named
// values, a list of names; a Case channel takes all of these from the variant that its
// selector register picks, afresh on every call.
//
// Register roles: Registers[0] holds the value; Registers[1] is the selector of a cmCase
// channel and the status register of a cfSF1 channel; further registers are only polled
// with the channel.
//
// Window thread only. The port thread stores the register values read here; Watch and
// Unwatch write the registers' Watched flags, which the port thread reads.
#include "IdIndex.h"
#include "RegistersMB.h"
#include "WRPackets.h"
#include "XmlDocument.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

enum TChanalMode : uint8_t {
    cmR = 0,    // read only
    cmRW = 1,   // writable
    cmCase = 2, // name, format, access and range come from the selected case
};

enum TChanalFormat : uint8_t {
    cfWord = 0, // unsigned decimal
    cfReal = 1, // 32-bit float
    cfStr = 2,  // a name from the value-name list
    cfHex = 3,  // four hexadecimal digits
    cfSF1 = 4,  // a float, or a status code when it is not a number
};

// One variant of a Case channel.
struct TCaseRecord {
    int32_t Key = 0; // selector value that picks this case
    QString Name;    // the channel's Name unless the case gives its own
    TChanalMode Mode = cmR;
    TChanalFormat Format = cfWord; // not the channel's
    QStringList Items;             // value names for cfStr
    int32_t Min = 0;               // the channel's Min and Max unless the case gives its own
    int32_t Max = 65535;
};

class TChanal {
public:
    TChanal() = default;
    virtual ~TChanal() = default;
    TChanal(const TChanal&) = delete;
    TChanal& operator=(const TChanal&) = delete;

    QString ID = QStringLiteral("Unknow");
    QString Name;
    TChanalMode Mode = cmR;
    TChanalFormat Format = cfWord;
    int32_t Min = 0;
    int32_t Max = 65535;
    std::vector<TRegisterMB*> Registers; // not owned: the project owns every register
    QStringList Items;
    std::vector<TCaseRecord> Cases;
    int32_t Digits = 2; // decimals of plain cfReal and cfSF1 values

    // Reads a Chanal element; `registers` indexes the project's list of every register in
    // document order, which Register children are resolved against (first exact ID).
    // False only for a Case whose Value is not an integer: the load of this channel
    // stops there and *error (when given) says why, for the project loader to show.
    bool LoadFromNode(const platform::XmlElement& node, const TIdIndex<TRegisterMB>& registers,
                      QString* error = nullptr);
    // Builds one case from a Case element and appends it; false (nothing appended) when
    // its Value is not an integer.
    bool LoadCase(const platform::XmlElement& node, QString* error = nullptr);
    // Splits a ";"-separated text into names: a final ";" adds no empty name, an empty
    // field elsewhere is an empty name, an empty text gives none.
    static void SplitList(const QString& text, QStringList& list);

    // False when the channel lacks what its mode and format need: a register, or for a
    // Case channel its selector register and a case, or for a plain cfSF1 channel its
    // status register. Such a channel shows "Недоступно" and offers no input.
    bool Usable() const;

    // The case picked by the selector register's word (the first with that Key, else the
    // first case); nullptr unless the channel is a usable Case channel.
    const TCaseRecord* FindCase() const;
    QString GetName() const;
    TChanalFormat GetFormat() const;
    // cmR or cmRW; always cmR for a channel that is not usable.
    TChanalMode GetAccess() const;
    int32_t GetMin() const;
    int32_t GetMax() const;
    // The value names when GetFormat() is cfStr, else nullptr.
    const QStringList* GetList() const;
    // The index of the current value in GetList(); -1 for another format, a value out of
    // range or a name number beyond the list.
    int32_t GetListIndex() const;
    // The value as the list and the detail panel show it.
    QString GetValueText() const;

    // Flags every register as on screen, so that it is polled, or clears the flags.
    void Watch();
    void Unwatch();

    // Turn what the user typed or chose into a write of the value register. On success the
    // register already holds the new value and `packet` is a new write (Func, Addr and
    // WordValue or RealValue set; Address is the caller's). On failure the user has seen
    // the notice, `packet` is empty and nothing changed.
    bool WriteWord(const QString& text, std::unique_ptr<TWRPacket>& packet);
    bool WriteHex(const QString& text, std::unique_ptr<TWRPacket>& packet); // without the "$"
    bool WriteListIndex(int32_t index, std::unique_ptr<TWRPacket>& packet); // -1: none chosen
    bool WriteReal(const QString& text, std::unique_ptr<TWRPacket>& packet);

private:
    QString FormatValue() const;
    QString FormatStatusValue() const;
    QString FormatCaseValue() const;
    const QStringList& CurrentItems() const;
    bool WriteInteger(int64_t value, bool hexNotice, std::unique_ptr<TWRPacket>& packet);
};
