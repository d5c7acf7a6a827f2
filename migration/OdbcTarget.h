#pragma once

#include "migration/EngineInterfaces.h"

class CDatabase;

// The target as the run sees it, over an ODBC connection owned elsewhere. Opening never
// shows a driver dialog.
class COdbcTarget final : public ITargetDatabase {
public:
    explicit COdbcTarget(CDatabase& database) : m_database(database) {}

    bool IsOpen() const noexcept override;
    void Open(const std::string& connect) override;
    void ExecuteSQL(const std::string& statement) override;
    void Close() noexcept override;

private:
    CDatabase& m_database;
};
