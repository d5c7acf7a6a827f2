#include "ui/AccessFilePicker.h"

#include <cstring>

#include <glib.h>

#include <wx/dir.h>
#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msgdlg.h>

#include "ui/Texts.h"

namespace {

constexpr const char* kDefaultExtension = ".mdb";

// The filters of kFileFilter, with the .mdb pattern spelt so that GTK matches any case.
wxString CaseInsensitiveFilter() {
    wxString filter = wxString::FromUTF8(texts::kFileFilter);
    filter.Replace(wxString::FromUTF8("|*.mdb|"), wxString::FromUTF8("|*.[mM][dD][bB]|"));
    return filter;
}

// wx's default title in the user's language. wx's own catalogue has no Japanese for it,
// GTK's has its own words for the same thing; in English wx's stay.
wxString PickerTitle() {
    const wxString english = wxString::FromAscii(wxFileSelectorPromptStr);
    const wxString wxTitle = wxGetTranslation(english);
    if (wxTitle != english) {
        return wxTitle;
    }
    constexpr const char* kGtkTitle = "Select a File";
    const char* gtkTitle = g_dgettext("gtk30", kGtkTitle);
    return std::strcmp(gtkTitle, kGtkTitle) != 0 ? wxString::FromUTF8(gtkTitle) : english;
}

}  // namespace

// wxFD_FILE_MUST_EXIST is not passed on: wx would refuse a typed name before the default
// extension had a chance. OnOpen makes the same check afterwards.
CAccessFilePicker::CAccessFilePicker(wxWindow* parent, const wxString& folder)
    : wxFileDialog(parent, PickerTitle(), folder, wxString(), CaseInsensitiveFilter(), wxFD_OPEN) {
    SetFilterIndex(0);
    Bind(wxEVT_BUTTON, &CAccessFilePicker::OnOpen, this, wxID_OK);
}

wxString CAccessFilePicker::GetPath() const {
    return m_chosen.empty() ? wxFileDialog::GetPath() : m_chosen;
}

wxString CAccessFilePicker::WithDefaultExtension(const wxString& path) {
    if (path.empty() || wxFileName::Exists(path)) {
        return path;
    }
    const wxString withExtension = path + wxString::FromAscii(kDefaultExtension);
    if (wxFileName::FileExists(withExtension)) {
        return withExtension;
    }
    // The extension in another letter case ("KEN_ALL" for KEN_ALL.MDB), as the filter lists
    // it; the name itself must match as typed.
    const wxFileName wanted(withExtension);
    const wxLogNull quiet;  // a folder that cannot be read is no error here
    wxDir folder(wanted.GetPath());
    wxString name;
    for (bool found = folder.IsOpened() && folder.GetFirst(&name, wxString(), wxDIR_FILES); found;
         found = folder.GetNext(&name)) {
        const wxFileName candidate(wanted.GetPath(), name);
        if (candidate.GetName() == wanted.GetName() &&
            candidate.GetExt().IsSameAs(wanted.GetExt(), false)) {
            return candidate.GetFullPath();
        }
    }
    return path;
}

void CAccessFilePicker::OnOpen(wxCommandEvent& event) {
    const wxString path = WithDefaultExtension(wxFileDialog::GetPath());
    if (!wxFileName::FileExists(path)) {
        // wx's own words for it, in the user's language.
        wxMessageDialog refusal(this, _("Please choose an existing file."), _("Error"),
                                wxOK | wxICON_ERROR);
        refusal.ShowModal();
        return;
    }
    m_chosen = path;
    event.Skip();  // wx ends the dialog
}

wxString CAccessFilePicker::FolderOfExistingFile(const wxString& path) {
    const wxFileName name(path);
    if (path.empty() || !name.FileExists()) {
        return {};
    }
    return name.GetPath();
}
