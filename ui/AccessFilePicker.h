#pragma once

#include <wx/filedlg.h>

// The picker behind the browse button: the system's file chooser, with the system's own
// title and buttons, opening an existing file. Its first filter, "Accessファイル(*.mdb)",
// lists .mdb files in any letter case (GTK's patterns are case-sensitive), and ".mdb" is
// the default extension: a typed name that does not exist, when the same name with ".mdb"
// does, picks that file.
class CAccessFilePicker : public wxFileDialog {
public:
    // folder: where the chooser opens; empty: the system's default.
    explicit CAccessFilePicker(wxWindow* parent, const wxString& folder = wxString());

    // The folder of the file path names, when that file exists; empty otherwise.
    static wxString FolderOfExistingFile(const wxString& path);

    // The chosen file's full path, default extension applied; valid once ShowModal has
    // returned wxID_OK.
    wxString GetPath() const override;

    // path itself when it names something that exists, or when no "path.mdb" exists in any
    // letter case of the extension; otherwise that file ("path.mdb" first).
    static wxString WithDefaultExtension(const wxString& path);

private:
    // The chooser's Open: refuses a file that does not exist, as the chooser stays open.
    void OnOpen(wxCommandEvent& event);

    wxString m_chosen;
};
