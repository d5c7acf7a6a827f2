#pragma once

#include <stdexcept>

// Raw bytes of the file that do not make sense: a value shorter than its type, a broken memo
// chain, a header without the Access signature. The decoders know neither the file nor the
// table; the source reader catches this and throws CDaoException with those names added.
class CJetFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An Access file that is not damaged but encrypted (an .accdb with a password) in a way this
// program cannot decrypt: told apart so that the user hears what to do about it. The text
// names the encryption ("RC4 CryptoAPI encryption", "the cipher DES").
class CEncryptedDatabaseError : public CJetFormatError {
public:
    using CJetFormatError::CJetFormatError;
};

// An .accdb whose description of its encryption contradicts itself: damaged, not of another
// kind.
class CDamagedEncryptionError : public CJetFormatError {
public:
    using CJetFormatError::CJetFormatError;
};
