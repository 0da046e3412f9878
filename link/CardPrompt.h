#pragma once
// How the card reader asks the user what to do about a failed card request. The
// configurator answers with its exchange-error dialog; tests answer from a script.
#include <cstdint>

// Why a card request failed; the exchange-error dialog shows one panel per kind.
enum TProblemKind : uint8_t {
    pkNoAnswer = 0,  // no reply with a correct CRC after three tries
    pkNoCard = 1,    // exception reply 83 hex, code 8: no card in the card receiver
    pkException = 2, // any other reply of the wrong length
};

class TRetryPrompt {
public:
    virtual ~TRetryPrompt() = default;
    // Called in the window thread from inside the failed request, which waits for the
    // answer. True: send the same request again; false: give up.
    virtual bool AskRetry(TProblemKind kind) = 0;
};
