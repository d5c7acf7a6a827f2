#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CDaoWorkspace;
class MdbDatabase;

// An Access .mdb database, opened read-only through libmdb. Before libmdb sees a file,
// the file is vetted in a separate process that is ended when it stops making progress or
// exhausts its memory cap, so that a damaged file ends in a CDaoException instead of a hang,
// a crash or a desktop out of memory. The file is opened once: the check and libmdb read that
// open file, whatever its name points to meanwhile, and a file that changes in place while it
// is checked or read is refused.
class CDaoDatabase {
public:
    // What is open on a database and must close before it does: its recordsets.
    class IDependent {
    public:
        virtual void Close() noexcept = 0;

    protected:
        ~IDependent() = default;
    };

    CDaoDatabase();
    CDaoDatabase(const CDaoDatabase&) = delete;
    CDaoDatabase& operator=(const CDaoDatabase&) = delete;
    ~CDaoDatabase();  // closes the database if it is open; never throws

    void SetWorkspace(CDaoWorkspace& workspace) noexcept { m_pWorkspace = &workspace; }
    // Called about every 30 ms while Open waits for the file check, so that a window can
    // repaint; it may throw to abandon the open. Empty: nothing is called.
    void SetWaitCallback(std::function<void()> callback) { m_waitCallback = std::move(callback); }
    // The tables the next Open prepares for: it checks the catalogue and these (names in any
    // letter case), and a recordset opens on no other table of the file. Empty, the default:
    // every table.
    void SetTablesToRead(std::vector<std::string> tables) { m_tablesToRead = std::move(tables); }
    CDaoWorkspace* GetWorkspace() const noexcept { return m_pWorkspace; }

    // Opens the file at path. connect is "" or ";PWD=<password>": a file with a database
    // password opens only with exactly that password, a file without one with any.
    // Opening an open database returns at once and keeps what it has open.
    // exclusive must be false and readOnly true: the source is never written.
    // Throws CDaoException naming the file on every failure.
    void Open(const std::string& path, bool exclusive = false, bool readOnly = true,
              const std::string& connect = "");

    // Closes the recordsets still open on this database, then the database. Never throws.
    void Close() noexcept;
    bool IsOpen() const noexcept;
    const std::string& GetName() const noexcept { return m_strPath; }

private:
    friend class CDaoRecordset;
    void Attach(IDependent* dependent);
    void Detach(IDependent* dependent) noexcept;
    // The open file, for the recordsets; null when closed.
    MdbDatabase* File() const noexcept;
    // Whether the check walked the table, or would have, had the file held it.
    bool WasChecked(const std::string& table) const;
    // Throws CDaoException when the file's size or modification time is no longer what it was
    // before the check: it is being written, and what was read may be half old, half new.
    void ThrowIfFileChanged() const;

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    CDaoWorkspace* m_pWorkspace = nullptr;
    std::string m_strPath;
    std::function<void()> m_waitCallback;
    std::vector<std::string> m_tablesToRead;
};
