#include "dbaccess/Translate.h"

#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace {

constexpr const char* kSystemLocaleFolder = "/usr/share/locale";

// The folder of the running program; "" when it cannot be told.
std::string ProgramFolder() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) {
        return {};
    }
    const std::string path(buffer.data(), static_cast<size_t>(n));
    return path.substr(0, path.rfind('/'));
}

}  // namespace

const char* Tr(const char* english) {
    return dgettext(kMessageDomain, english);
}

const char* TrContext(const char* context, const char* english) {
    const std::string key = std::string(context) + '\004' + english;
    const char* translated = dgettext(kMessageDomain, key.c_str());
    return translated == key.c_str() || key == translated ? english : translated;
}

void ReadFormat(std::string_view text, size_t argCount,
                const std::function<void(std::string_view)>& words,
                const std::function<void(size_t)>& argument) {
    std::string run;
    for (size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next == '%') {
            run += '%';
            ++i;
        } else if (text[i] == '%' && next >= '1' && next <= '9' &&
                   static_cast<size_t>(next - '1') < argCount) {
            words(run);
            run.clear();
            argument(static_cast<size_t>(next - '1'));
            ++i;
        } else {
            run += text[i];
        }
    }
    words(run);
}

std::string FormatMessage(std::string_view text, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(text.size());
    ReadFormat(
        text, args.size(), [&out](std::string_view words) { out += words; },
        [&out, &args](size_t index) { out += *(args.begin() + index); });
    return out;
}

std::string TrFormat(const char* english, std::initializer_list<std::string_view> args) {
    return FormatMessage(Tr(english), args);
}

std::string MessageCatalogueFolder(const std::string& programFolder) {
    const std::string beside = programFolder + "/locale";
    struct stat info {};
    if (!programFolder.empty() &&
        stat((beside + "/ja/LC_MESSAGES/" + kMessageDomain + ".mo").c_str(), &info) == 0) {
        return beside;
    }
    return kSystemLocaleFolder;
}

void BindMessageCatalogue() {
    BindMessageCatalogue(MessageCatalogueFolder(ProgramFolder()));
}

void BindMessageCatalogue(const std::string& localeFolder) {
    bindtextdomain(kMessageDomain, localeFolder.c_str());
    bind_textdomain_codeset(kMessageDomain, "UTF-8");
}
