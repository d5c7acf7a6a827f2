#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

// Our own texts in the user's language. English is the message id; gettext's catalogue
// "brimlow" holds the translations (po/), and a process whose LC_MESSAGES is "C" (the tests,
// the file checker) gets the English text unchanged. xgettext finds the texts by the names
// Tr, TrContext, TrFormat and TrNoop (po/extract).

// The catalogue's name, for every program.
inline constexpr const char* kMessageDomain = "brimlow";

// english in the user's language (UTF-8); english itself when the catalogue has no
// translation. A printf format stays one: the compiler checks the call's arguments against
// english.
[[gnu::format_arg(1)]] const char* Tr(const char* english);

// english as Tr gives it, looked up in a context of its own: for a text such as "%1" that
// says nothing in English but says more in another language.
const char* TrContext(const char* context, const char* english);

// Marks english for the catalogue where it is translated later, by Tr on the same text.
constexpr const char* TrNoop(const char* english) {
    return english;
}

// Tr(english) with %1 ... %9 replaced by args[0] ... args[8]; a translation may put them in
// another order. "%%" is a "%"; any other "%" stays as it is.
std::string TrFormat(const char* english, std::initializer_list<std::string_view> args);

// Formats an already translated text the way TrFormat does.
std::string FormatMessage(std::string_view text, std::initializer_list<std::string_view> args);

// The one reading of such a text, for FormatMessage and for what builds something other than
// a string from it: gives the words between the placeholders ("%%" already a "%", possibly
// empty) to words, and the index of each %N that stands for one of argCount arguments to
// argument, in the text's order.
void ReadFormat(std::string_view text, size_t argCount,
                const std::function<void(std::string_view)>& words,
                const std::function<void(size_t)>& argument);

// Binds the catalogue for this process: from "<folder of the running program>/locale" when it
// holds ja/LC_MESSAGES/brimlow.mo (a build tree), else from /usr/share/locale; texts come out
// as UTF-8 whatever the locale's character set. Nothing is read before the first Tr.
void BindMessageCatalogue();
// The same from a folder given (the tests use the build tree's).
void BindMessageCatalogue(const std::string& localeFolder);
// The folder BindMessageCatalogue() binds, for a program in programFolder.
std::string MessageCatalogueFolder(const std::string& programFolder);
