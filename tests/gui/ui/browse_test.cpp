#include <filesystem>
#include <fstream>

#include <clocale>
#include <cstring>

#include <dlfcn.h>
#include <glib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <wx/filedlg.h>
#include <wx/utils.h>

#include "tests/gui/GuiTest.h"
#include "ui/AccessFilePicker.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

// A file with a Japanese name in a folder of its own, removed again afterwards.
class BrowseTest : public testing::Test {
protected:
    void SetUp() override {
        // Linux paths are bytes; these literals are UTF-8.
        m_folder =
            std::filesystem::temp_directory_path() / ("brimlow-参照-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_folder);
        m_file = m_folder / "郵便番号.mdb";
        std::ofstream(m_file) << "not really an Access file";
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string FilePath() const { return m_file.string(); }

    // Expects the file picker and answers it: the settings are checked, then the picker
    // "chooses" path (if any) and returns code.
    void ExpectPicker(const std::string& path, int code) {
        m_answerer.Expect([path, code](wxDialog& dialog) -> int {
            auto* picker = dynamic_cast<wxFileDialog*>(&dialog);
            EXPECT_NE(nullptr, picker);
            if (picker == nullptr) {
                return wxID_CANCEL;
            }
            EXPECT_EQ("Accessファイル(*.mdb)|*.[mM][dD][bB]|全てのファイル|*",
                      Utf8FromWx(picker->GetWildcard()));
            EXPECT_EQ(0, picker->GetFilterIndex());
            EXPECT_TRUE(picker->HasFlag(wxFD_OPEN));
            if (!path.empty()) {
                picker->SetPath(wxString::FromUTF8(path));
                // GTK's file chooser loads the folder in the background and only then
                // selects the file; give it up to 5 s of event-loop turns.
                for (int turn = 0; turn < 500 && picker->GetPath().empty(); ++turn) {
                    guitest::Flush();
                    wxMilliSleep(10);
                }
            }
            return code;
        });
    }

    CDialogAnswerer m_answerer;
    std::filesystem::path m_folder;
    std::filesystem::path m_file;
};

}  // namespace

TEST_F(BrowseTest, ChosenFileFillsPathBox) {
    CTestDlg dlg;
    ExpectPicker(FilePath(), wxID_OK);
    dlg.Click(IDC_BROWSE);
    EXPECT_EQ(FilePath(), dlg.m_strPath);
    EXPECT_EQ(FilePath(), Utf8FromWx(dlg.PathBox().GetValue()));
}

TEST_F(BrowseTest, ChosenFileReplacesTypedText) {
    CTestDlg dlg;
    dlg.PathBox().ChangeValue(wxString::FromUTF8("typed by hand.mdb"));
    ExpectPicker(FilePath(), wxID_OK);
    dlg.Click(IDC_BROWSE);
    EXPECT_EQ(FilePath(), Utf8FromWx(dlg.PathBox().GetValue()));
}

TEST_F(BrowseTest, CancelKeepsTypedText) {
    CTestDlg dlg;
    dlg.PathBox().ChangeValue(wxString::FromUTF8("手で入力.mdb"));
    ExpectPicker(FilePath(), wxID_CANCEL);
    dlg.Click(IDC_BROWSE);
    EXPECT_EQ("手で入力.mdb", Utf8FromWx(dlg.PathBox().GetValue()));
    EXPECT_EQ("", dlg.m_strPath);
}

// Choosing a file rewrites the log box from m_strLog as well, which changes nothing.
TEST_F(BrowseTest, LogStaysAsItWas) {
    CTestDlg dlg;
    dlg.AppendLog("KEN_ALLを移行しました。");
    ExpectPicker(FilePath(), wxID_OK);
    dlg.Click(IDC_BROWSE);
    EXPECT_EQ("\nKEN_ALLを移行しました。", Utf8FromWx(dlg.LogBox().GetValue()));
}

// GTK's own filter objects, reached through the GTK library that wx has loaded (the
// program is built without GTK's headers). The structure is GTK 3's GtkFileFilterInfo.
class CGtkFilters {
public:
    explicit CGtkFilters(wxFileDialog& picker) {
        Load(m_list, "gtk_file_chooser_list_filters");
        Load(m_name, "gtk_file_filter_get_name");
        Load(m_filter, "gtk_file_filter_filter");
        if (m_list != nullptr) {
            m_filters = m_list(picker.GetHandle());
        }
    }
    ~CGtkFilters() { g_slist_free(m_filters); }

    guint Count() const { return g_slist_length(m_filters); }
    std::string Name(guint index) const { return m_name(g_slist_nth_data(m_filters, index)); }
    // Whether the chooser lists a file of this name under the filter.
    bool Lists(guint index, const char* name) const {
        Info info{kDisplayName, nullptr, nullptr, name, nullptr};
        return m_filter(g_slist_nth_data(m_filters, index), &info) != 0;
    }

private:
    struct Info {
        int contains;
        const char* filename;
        const char* uri;
        const char* displayName;
        const char* mimeType;
    };
    static constexpr int kDisplayName = 1 << 2;

    template <typename F>
    static void Load(F*& function, const char* symbol) {
        function = reinterpret_cast<F*>(dlsym(RTLD_DEFAULT, symbol));
        EXPECT_NE(nullptr, function) << symbol;
    }

    GSList* (*m_list)(void*) = nullptr;
    const char* (*m_name)(void*) = nullptr;
    int (*m_filter)(void*, const Info*) = nullptr;
    GSList* m_filters = nullptr;
};

TEST(AccessFilePicker, FirstFilterListsMdbInAnyCaseAndTheSecondEverything) {
    CAccessFilePicker picker(nullptr);
    const CGtkFilters filters(picker);
    ASSERT_EQ(2u, filters.Count());
    EXPECT_EQ("Accessファイル(*.mdb)", filters.Name(0));
    EXPECT_EQ("全てのファイル", filters.Name(1));
    for (const char* name : {"KEN_ALL.MDB", "郵便番号.mdb", "Mixed.Mdb"}) {
        EXPECT_TRUE(filters.Lists(0, name)) << name;
        EXPECT_TRUE(filters.Lists(1, name)) << name;
    }
    for (const char* name : {"notes.txt", "KEN_ALL.MDB.bak", "mdb"}) {
        EXPECT_FALSE(filters.Lists(0, name)) << name;
        EXPECT_TRUE(filters.Lists(1, name)) << name;
    }
}

TEST_F(BrowseTest, TypedNameWithoutExtensionPicksTheMdbFile) {
    const wxString file = wxString::FromUTF8(FilePath());
    const wxString stem = wxString::FromUTF8((m_folder / "郵便番号").string());
    EXPECT_EQ(file, CAccessFilePicker::WithDefaultExtension(stem));
    EXPECT_EQ(file, CAccessFilePicker::WithDefaultExtension(file));
    const wxString missing = wxString::FromUTF8((m_folder / "無い").string());
    EXPECT_EQ(missing, CAccessFilePicker::WithDefaultExtension(missing));
    // The extension in capitals, as the filter lists it; the name must match as typed.
    std::ofstream(m_folder / "KEN_ALL.MDB") << "upper case";
    const std::string upper = (m_folder / "KEN_ALL").string();
    EXPECT_EQ(upper + ".MDB",
              Utf8FromWx(CAccessFilePicker::WithDefaultExtension(wxString::FromUTF8(upper))));
    const std::string lower = (m_folder / "ken_all").string();
    EXPECT_EQ(lower,
              Utf8FromWx(CAccessFilePicker::WithDefaultExtension(wxString::FromUTF8(lower))));
    // A name that exists as it is stays, even when "name.mdb" exists as well.
    std::ofstream(m_folder / "郵便番号") << "another file";
    EXPECT_EQ(stem, CAccessFilePicker::WithDefaultExtension(stem));
}

// The title is the system's own default, in the session's language.
TEST(AccessFilePicker, TitleFollowsTheSessionLanguage) {
    CAccessFilePicker picker(nullptr);
    const std::string title = Utf8FromWx(picker.GetMessage());
    if (std::strncmp(std::setlocale(LC_MESSAGES, nullptr), "ja", 2) == 0) {
        EXPECT_EQ("ファイルを選択", title);
    } else {
        EXPECT_EQ("Select a file", title);
    }
}
