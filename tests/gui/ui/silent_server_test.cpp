// A server that stops answering while a row is on its way (a relay that goes silent, sockets
// open): Esc still stops the run, the statement is given up, and the log says that the row in
// flight may or may not have arrived. A later run connects anew.

#include <gtest/gtest.h>

#include <wx/uiaction.h>

#include "migration/DaoSource.h"
#include "migration/target/OdbcTarget.h"
#include "tests/gui/GuiTest.h"
#include "tests/support/Paths.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/StallProxy.h"

using guitest::CDialogAnswerer;
using guitest::CTestDlg;

namespace {

// The dialog's run on a target of the test's choosing; a wait callback that presses Esc once
// the relay has gone silent, on the window's thread, as a user would.
class CSilentDlg : public CTestDlg {
public:
    using CBrimlowDlg::m_sourceDb;
    using CBrimlowDlg::m_targetDb;

    void RunThrough(const std::string& connect, const testsupport::CStallProxy& proxy) {
        CDaoSource source(m_workspace, m_sourceDb);
        COdbcTarget real(m_targetDb, CResolvedTarget{connect, {}, "test"});
        CEscWhenSilent target(real, proxy);
        RunOn(source, target);
    }

private:
    class CEscWhenSilent final : public ITargetDatabase {
    public:
        CEscWhenSilent(ITargetDatabase& real, const testsupport::CStallProxy& proxy)
            : m_real(real), m_proxy(proxy) {}
        bool IsOpen() const noexcept override { return m_real.IsOpen(); }
        void Open(const std::string& connect) override { m_real.Open(connect); }
        void SetWaitCallback(std::function<void()> callback) override {
            m_real.SetWaitCallback([this, callback] {
                if (!m_bPressed && m_proxy.Triggered()) {
                    m_bPressed = true;
                    wxUIActionSimulator().Char(WXK_ESCAPE);
                }
                if (callback) {
                    callback();
                }
            });
        }
        void InsertRow(const CInsertItemList& row) override { m_real.InsertRow(row); }
        void EndTable() override { m_real.EndTable(); }
        void Close() noexcept override { m_real.Close(); }

    private:
        ITargetDatabase& m_real;
        const testsupport::CStallProxy& m_proxy;
        bool m_bPressed = false;
    };
};

}  // namespace

TEST(SilentServer, EscStopsTheRunAndTheLogSaysTheRowIsInDoubt) {
    testtarget::PostgresServer& server = testtarget::PostgresServer::Get();
    const std::string database = server.CreateFreshDatabase("silent");
    const testsupport::CStallProxy proxy(server.Port(), "insert into Mst01(", 5, "before",
                                         "freeze");
    CSilentDlg dlg;
    dlg.m_strPath = testpaths::Data("sample.mdb").string();
    dlg.run = [&](CTestDlg&) {
        dlg.RunThrough(proxy.Through(server.ConnectionString(database)), proxy);
    };
    CDialogAnswerer answerer;  // a stop shows no box
    EXPECT_EQ(wxID_IGNORE, guitest::InModalLoop(
                               dlg, [&] { dlg.Click(IDC_START); }, 60000));
    const std::string log = Utf8FromWx(dlg.LogBox().GetValue());
    EXPECT_NE(
        log.find("\nMst01の移行を中止しました。(4 または 5 件を移行済み。5 件目の結果は不明です)"),
        std::string::npos)
        << log;
    EXPECT_FALSE(dlg.m_targetDb.IsOpen());
    EXPECT_EQ(*server.Query(database, "select count(*) from Mst01").at(0).at(0), "4");
    EXPECT_EQ("移行開始", Utf8FromWx(dlg.StartButton().GetLabel()));

    // The connection given up is not the next run's.
    const std::string again = server.CreateFreshDatabase("silent");
    const testsupport::CStallProxy relay(server.Port(), "never sent", 1, "before", "freeze");
    dlg.run = [&](CTestDlg&) {
        dlg.RunThrough(relay.Through(server.ConnectionString(again)), relay);
    };
    EXPECT_EQ(wxID_IGNORE, guitest::InModalLoop(
                               dlg, [&] { dlg.Click(IDC_START); }, 60000));
    EXPECT_EQ(*server.Query(again, "select count(*) from Mst01").at(0).at(0), "200");
}
