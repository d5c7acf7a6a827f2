#pragma once

#include "migration/EngineInterfaces.h"

class CDaoWorkspace;
class CDaoDatabase;

// The source as the run sees it, over a workspace and a database owned elsewhere (by the
// dialog, or by the command-line program). Opening goes through the workspace; recordsets
// are read-only dynasets on the database.
class CDaoSource final : public ISourceDatabase {
public:
    CDaoSource(CDaoWorkspace& workspace, CDaoDatabase& database);

    bool IsOpen() const noexcept override;
    // Opens the workspace (it stays open), attaches it, and opens the database read-only and
    // not exclusively.
    void Open(const std::string& path, const std::string& connect) override;
    void Close() noexcept override;
    void SetWaitCallback(std::function<void()> callback) override;
    void SetTablesToRead(std::vector<std::string> tables) override;
    std::unique_ptr<IRecordset> OpenRecordset(const std::string& query) override;

private:
    CDaoWorkspace& m_workspace;
    CDaoDatabase& m_database;
};
