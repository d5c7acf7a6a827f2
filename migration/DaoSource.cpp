#include "migration/DaoSource.h"

#include "dbaccess/access/DaoDatabase.h"
#include "dbaccess/access/DaoRecordset.h"
#include "dbaccess/access/DaoWorkspace.h"

namespace {

class CDaoRecordsetRows final : public IRecordset {
public:
    explicit CDaoRecordsetRows(CDaoDatabase& database) : m_recordset(database) {}

    void Open(const std::string& query) { m_recordset.Open(dbOpenDynaset, query, dbReadOnly); }
    bool IsEOF() const override { return m_recordset.IsEOF(); }
    CFieldValue GetFieldValue(const std::string& column) override {
        return m_recordset.GetFieldValue(column);
    }
    void MoveNext() override { m_recordset.MoveNext(); }
    void Close() noexcept override { m_recordset.Close(); }
    void CheckField(const std::string& column) override { m_recordset.CheckColumn(column); }
    size_t GetRecordCount() const override {
        return static_cast<size_t>(m_recordset.GetRecordCount());
    }

private:
    CDaoRecordset m_recordset;
};

}  // namespace

CDaoSource::CDaoSource(CDaoWorkspace& workspace, CDaoDatabase& database)
    : m_workspace(workspace), m_database(database) {}

bool CDaoSource::IsOpen() const noexcept {
    return m_database.IsOpen();
}

void CDaoSource::Open(const std::string& path, const std::string& connect) {
    m_workspace.Open();
    m_database.SetWorkspace(m_workspace);
    m_database.Open(path, false, true, connect);
}

void CDaoSource::SetWaitCallback(std::function<void()> callback) {
    m_database.SetWaitCallback(std::move(callback));
}

void CDaoSource::SetTablesToRead(std::vector<std::string> tables) {
    m_database.SetTablesToRead(std::move(tables));
}

void CDaoSource::Close() noexcept {
    m_database.Close();
}

std::unique_ptr<IRecordset> CDaoSource::OpenRecordset(const std::string& query) {
    auto rows = std::make_unique<CDaoRecordsetRows>(m_database);
    rows->Open(query);
    return rows;
}
