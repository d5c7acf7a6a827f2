#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <iterator>

#include <wx/display.h>
#include <wx/image.h>
#include <wx/stattext.h>

#include "tests/gui/GuiTest.h"
#include "ui/DialogLayout.h"

using guitest::CTestDlg;

namespace {

// One control of the main dialog's template, in template order.
struct CTemplateControl {
    const char* name;
    int id;  // wxID_ANY: the label
    const char* text;
    int x, y, width, height;
};

const CTemplateControl kTemplate[] = {
    {"exit", wxID_OK, "終 了", 262, 206, 50, 16},
    {"start", IDC_START, "移行開始", 7, 27, 305, 60},
    {"log", IDC_LOG, "", 7, 96, 305, 102},
    {"path", IDC_PATH, "", 58, 7, 193, 14},
    {"label", wxID_ANY, "アクセスファイル", 7, 7, 47, 14},
    {"browse", IDC_BROWSE, "参 照", 262, 7, 50, 14},
};

std::string TextOf(const wxWindow& control) {
    if (const auto* box = dynamic_cast<const wxTextCtrl*>(&control)) {
        return Utf8FromWx(box->GetValue());
    }
    return Utf8FromWx(control.GetLabel());
}

}  // namespace

// The children in creation order are the template's controls in template order, which is
// also the tab order.
TEST(Layout, ControlsInTemplateOrderWithTheirTexts) {
    CTestDlg dlg;
    const wxWindowList& children = dlg.GetChildren();
    ASSERT_EQ(std::size(kTemplate), children.size());
    auto child = children.begin();
    for (const CTemplateControl& expected : kTemplate) {
        SCOPED_TRACE(expected.name);
        const wxWindow& control = **child++;
        if (expected.id == wxID_ANY) {
            EXPECT_NE(nullptr, dynamic_cast<const wxStaticText*>(&control));
        } else {
            EXPECT_EQ(expected.id, control.GetId());
        }
        EXPECT_EQ(expected.text, TextOf(control));
    }
}

TEST(Layout, ControlsSitAtTemplateRectangles) {
    CTestDlg dlg;
    auto child = dlg.GetChildren().begin();
    for (const CTemplateControl& expected : kTemplate) {
        SCOPED_TRACE(expected.name);
        const wxRect actual = (*child++)->GetRect();
        const wxRect templ =
            DialogUnitsToPixels(dlg, expected.x, expected.y, expected.width, expected.height);
        EXPECT_EQ(dlg.ConvertDialogToPixels(wxPoint(expected.x, expected.y)).x, actual.x);
        EXPECT_EQ(dlg.ConvertDialogToPixels(wxPoint(expected.x + expected.width, 0)).x,
                  actual.GetRight() + 1);
        if (expected.id == wxID_ANY) {
            // The label is as tall as its text and centred in the template's rectangle.
            EXPECT_LE(std::abs((actual.y + actual.GetBottom()) - (templ.y + templ.GetBottom())), 1);
            EXPECT_LE(actual.height, templ.height);
        } else {
            EXPECT_EQ(templ, actual);
        }
    }
}

TEST(Layout, DialogIsFixedSizeAndCentred) {
    CTestDlg dlg;
    EXPECT_EQ("Ver.3.0Quenmark", Utf8FromWx(dlg.GetTitle()));
    EXPECT_EQ(dlg.ConvertDialogToPixels(wxSize(319, 229)), dlg.GetClientSize());
    EXPECT_TRUE(dlg.HasFlag(wxCAPTION));
    EXPECT_TRUE(dlg.HasFlag(wxCLOSE_BOX));
    EXPECT_FALSE(dlg.HasFlag(wxRESIZE_BORDER));
    EXPECT_FALSE(dlg.HasFlag(wxMINIMIZE_BOX));
    EXPECT_FALSE(dlg.HasFlag(wxMAXIMIZE_BOX));
    EXPECT_EQ(nullptr, dlg.GetParent());

    const wxRect screen = wxDisplay(0u).GetGeometry();
    const wxPoint centre = dlg.GetRect().GetPosition() + dlg.GetSize() / 2;
    EXPECT_LE(std::abs(centre.x - screen.width / 2), 1);
    EXPECT_LE(std::abs(centre.y - screen.height / 2), 1);
}

namespace {

// fontconfig's own list of the fonts that carry family among their names, in any language.
bool IsInstalledFamily(const std::string& family) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    const bool found = fonts != nullptr && fonts->nfont > 0;
    if (fonts != nullptr) {
        FcFontSetDestroy(fonts);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return found;
}

}  // namespace

// Dialog units follow the font, so the font decides whether the template's proportions
// survive. The face must be one that is really there, not a name fontconfig quietly
// replaces with another face.
TEST(Layout, FontIsAnInstalled9PointJapaneseFace) {
    CTestDlg dlg;
    const wxFont font = dlg.GetFont();
    EXPECT_EQ(9, font.GetPointSize());
    const std::string face = Utf8FromWx(font.GetFaceName());
    EXPECT_TRUE(face == "MS UI Gothic" || face == "IPAPGothic" || face == "Noto Sans CJK JP")
        << face;
    EXPECT_TRUE(IsInstalledFamily(face)) << face;
    for (const wxWindow* child : dlg.GetChildren()) {
        EXPECT_EQ(font, child->GetFont());
    }
}

// The size measured with IPAPGothic, the face Debian's fonts-ipafont-gothic installs, in
// every locale; with it the label's text fits its box.
TEST(Layout, IpaPGothicGivesTheMeasuredClientSize) {
    if (!IsInstalledFamily("IPAPGothic") || IsInstalledFamily("MS UI Gothic")) {
        GTEST_SKIP() << "IPAPGothic is not the face to use here (fonts-ipafont-gothic missing, "
                        "or MS UI Gothic installed)";
    }
    CTestDlg dlg;
    EXPECT_EQ("IPAPGothic", Utf8FromWx(dlg.GetFont().GetFaceName()));
    EXPECT_EQ(wxSize(558, 372), dlg.GetClientSize());
    const wxWindow& label = **std::next(dlg.GetChildren().begin(), 4);
    EXPECT_LE(label.GetTextExtent(label.GetLabel()).x, label.GetSize().x);
}

TEST(Layout, BoxStyles) {
    CTestDlg dlg;
    wxTextCtrl& log = dlg.LogBox();
    EXPECT_TRUE(log.IsMultiLine());
    EXPECT_FALSE(log.IsEditable());
    EXPECT_TRUE(log.HasFlag(wxVSCROLL));
    EXPECT_FALSE(log.HasFlag(wxHSCROLL));  // long lines wrap

    wxTextCtrl& path = dlg.PathBox();
    EXPECT_TRUE(path.IsSingleLine());
    EXPECT_TRUE(path.IsEditable());
    EXPECT_FALSE(path.HasFlag(wxTE_PROCESS_ENTER));  // Enter goes to the default button
}

TEST(Layout, ExitButtonIsTheDefault) {
    CTestDlg dlg;
    EXPECT_EQ(&dlg.ExitButton(), dlg.GetDefaultItem());
}

// The icon: 32 x 32 as the dialog's member, both sizes on the window, 16 colours at most.
TEST(Layout, IconHasTwoSizesIn16Colours) {
    CTestDlg dlg;
    EXPECT_EQ(wxSize(32, 32), dlg.m_hIcon.GetSize());
    dlg.Show();
    const wxIconBundle icons = dlg.GetIcons();
    ASSERT_EQ(2u, icons.GetIconCount());
    for (const wxSize size : {wxSize(32, 32), wxSize(16, 16)}) {
        const wxIcon icon = icons.GetIcon(size, wxIconBundle::FALLBACK_NONE);
        ASSERT_TRUE(icon.IsOk()) << size.x;
        wxImage image = wxBitmap(icon).ConvertToImage();
        EXPECT_LE(image.CountColours(), 16u) << size.x;
    }
}
