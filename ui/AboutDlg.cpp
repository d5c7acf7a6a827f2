#include "ui/AboutDlg.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "ui/AppIcon.h"
#include "ui/DialogLayout.h"
#include "ui/Resource.h"
#include "ui/Texts.h"

CAboutDlg::CAboutDlg(wxWindow* parent)
    : wxDialog(parent, IDD_ABOUTBOX, wxString::FromUTF8(texts::kAboutCaption), wxDefaultPosition,
               wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    SetFont(DialogFont());
    SetClientSize(DialogUnitsToPixels(*this, 231, 55));

    // Like a Windows icon control, the picture keeps its own size at the template's corner.
    const wxRect iconRect = DialogUnitsToPixels(*this, 11, 17, 20, 20);
    const wxIcon icon = LoadAppIcon();
    new wxStaticBitmap(this, wxID_ANY, icon, iconRect.GetPosition(), icon.GetSize());

    const wxRect nameRect = DialogUnitsToPixels(*this, 40, 10, 119, 8);
    new wxStaticText(this, wxID_ANY, wxString::FromUTF8(texts::kCaption), nameRect.GetPosition(),
                     nameRect.GetSize(), wxST_NO_AUTORESIZE);

    const wxRect versionRect = DialogUnitsToPixels(*this, 40, 25, 135, 8);
    new wxStaticText(this, wxID_ANY, wxString::FromUTF8(texts::kVersionLine),
                     versionRect.GetPosition(), versionRect.GetSize(), wxST_NO_AUTORESIZE);

    const wxRect okRect = DialogUnitsToPixels(*this, 174, 7, 50, 16);
    auto* ok = new wxButton(this, wxID_OK, wxString::FromUTF8("OK"), okRect.GetPosition(),
                            okRect.GetSize());
    ok->SetDefault();
    ok->SetFocus();

    CentreOnParent();
}
