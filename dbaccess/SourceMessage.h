#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// The longest message a source error carries, as the engine's error list gives it.
constexpr size_t kMaxSourceMessageBytes = 511;

// What a piece of a source error message is: our own words, or one of the things it names.
// A reason is text that the message names without translating it: a system's error text,
// a number, what exactly is damaged in a file.
enum class SourcePart { Text, File, Table, Column, Row, LibraryDetail, Reason };

// One piece of a message. For a row the text is its number; for library detail it is what
// the library printed, shown as " (libmdb: text)", or not at all when empty.
struct CSourcePiece {
    SourcePart part = SourcePart::Text;
    std::string text;

    bool operator==(const CSourcePiece&) const = default;
};

CSourcePiece SourceFile(std::string path);
CSourcePiece SourceTable(std::string name);
CSourcePiece SourceColumn(std::string name);
CSourcePiece SourceRow(size_t row);
CSourcePiece LibraryDetail(std::string said);
CSourcePiece SourceReason(std::string text);

// A source error message, built at the throw site from our words and the parts it names:
//
//   CDaoMessage() << "The database '" << SourceFile(path) << "' is damaged: in the table '"
//                 << SourceTable(name) << "', ..." << LibraryDetail(said) << "."
//
// The parts stay known, so that the message can be fitted into kMaxSourceMessageBytes by
// what they are, and carried whole to another process.
class CDaoMessage {
public:
    CDaoMessage() = default;
    // A message of our words alone.
    CDaoMessage(std::string text);  // NOLINT(google-explicit-constructor)
    CDaoMessage(const char* text);  // NOLINT(google-explicit-constructor)

    // A message from an English template (marked with TrNoop for the catalogue) in which
    // %1 ... %9 stand for parts[0] ... parts[8] and "%%" for "%". Library detail is not a
    // part of a template: AddLibraryDetail adds it.
    static CDaoMessage Format(const char* english, std::initializer_list<CSourcePiece> parts);

    CDaoMessage& operator<<(std::string_view text);
    CDaoMessage& operator<<(const std::string& text) { return *this << std::string_view(text); }
    CDaoMessage& operator<<(const char* text) { return *this << std::string_view(text); }
    CDaoMessage& operator<<(CSourcePiece piece);
    CDaoMessage& operator<<(const CDaoMessage& more);

    // Adds said as library detail at the end of the sentence, before its closing full stop
    // when it has one: "... cannot be read (libmdb: said)." Nothing when said is empty.
    void AddLibraryDetail(std::string said);

    // The pieces in order; neighbouring words are one Text piece.
    const std::vector<CSourcePiece>& Pieces() const noexcept { return m_pieces; }
    // The text of the first piece of that kind that is not empty; "" when there is none.
    std::string Part(SourcePart part) const;
    // The message's template: our words, with %1, %2 ... standing for the parts it names in
    // the order it names them, and without library detail. It is the message's id in the
    // catalogue, whether the message was built with Format or piece by piece.
    std::string Template() const;
    // The message in the user's language: the catalogue's translation of Template() with the
    // same parts, library detail after the translated sentence. *this when there is none.
    CDaoMessage Localised() const;
    // The whole message, however long.
    std::string Text() const;
    // The message fitted into kMaxSourceMessageBytes without splitting a UTF-8 character,
    // giving up the least useful parts first: the library detail (shortened, or dropped),
    // then the middle of the file's path, and only then the end of the message. Our sentence
    // and the table, column and row it names stay whole. A message that fits is Text().
    std::string Fitted() const;

private:
    std::vector<CSourcePiece> m_pieces;
};
