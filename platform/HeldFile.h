#pragma once
// A file held open, so that its number goes to no other file while it is held: what tells it
// apart from a file put in its place under its name since.
#include <QString>

namespace platform {

class HeldFile {
public:
    HeldFile() = default;
    // What path names now, a link itself rather than what it leads to; nothing is held where
    // there is nothing (or it cannot be opened).
    explicit HeldFile(const QString& path);
    ~HeldFile();
    HeldFile(HeldFile&& other) noexcept;
    HeldFile& operator=(HeldFile&& other) noexcept;

    bool Held() const { return Fd >= 0; }
    // Whether both hold one file.
    bool Same(const HeldFile& other) const;
    // Removes the file where its path still names it, and lets go of it. True when the file
    // is not at its path afterwards.
    bool Remove();

private:
    void Close();

    QString Path;
    int Fd = -1;
};

} // namespace platform
