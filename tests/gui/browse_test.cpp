#include <filesystem>
#include <fstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include <wx/filedlg.h>
#include <wx/utils.h>

#include "tests/gui/GuiTest.h"

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
            EXPECT_EQ("Accessファイル(*.mdb)|*.mdb|全てのファイル|*",
                      Utf8FromWx(picker->GetWildcard()));
            EXPECT_EQ(0, picker->GetFilterIndex());
            EXPECT_TRUE(picker->HasFlag(wxFD_OPEN));
            EXPECT_TRUE(picker->HasFlag(wxFD_FILE_MUST_EXIST));
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
