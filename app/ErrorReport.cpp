#include "app/ErrorReport.h"

#include <new>

#include <wx/app.h>
#include <wx/msgdlg.h>
// Needs wx/msgdlg.h first.
#include <wx/generic/msgdlgg.h>

#include "dbaccess/Exceptions.h"
#include "ui/Utf8.h"

namespace {

constexpr const char* kNoTextMessage = "Internal application error.";

CHandlerErrorReport Show(std::string text, long icon) {
    if (text.empty()) {
        text = kNoTextMessage;
    }
    return {HandlerErrorAction::Show, std::move(text), icon};
}

}  // namespace

CHandlerErrorReport DescribeHandlerError(const std::exception_ptr& error) {
    if (!error) {
        return {};
    }
    try {
        std::rethrow_exception(error);
    } catch (const CUserException&) {
        return {HandlerErrorAction::Ignore, {}, 0};
    } catch (const CMemoryException& e) {
        return Show(e.GetErrorMessage(), wxICON_EXCLAMATION);
    } catch (const CException& e) {
        return Show(e.GetErrorMessage(), wxICON_STOP);
    } catch (const std::bad_alloc&) {
        return Show(CMemoryException().GetErrorMessage(), wxICON_EXCLAMATION);
    } catch (...) {
        return {};
    }
}

void ShowErrorBox(const std::string& text, long icon) {
    const wxString caption = wxTheApp != nullptr ? wxTheApp->GetAppName() : wxString();
    wxGenericMessageDialog box(nullptr, WxFromUtf8(text), caption, wxOK | icon);
    box.ShowModal();
}

bool ReportHandlerError(const std::exception_ptr& error) {
    const CHandlerErrorReport report = DescribeHandlerError(error);
    if (report.action == HandlerErrorAction::Show) {
        ShowErrorBox(report.text, report.icon);
    }
    return report.action != HandlerErrorAction::Escalate;
}
