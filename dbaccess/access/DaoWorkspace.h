#pragma once

// The source engine's default workspace. It holds nothing of its own on this platform; it
// exists so that a database is opened through a workspace, as the migration run does.
class CDaoWorkspace {
public:
    CDaoWorkspace() = default;
    CDaoWorkspace(const CDaoWorkspace&) = delete;
    CDaoWorkspace& operator=(const CDaoWorkspace&) = delete;
    ~CDaoWorkspace() { Close(); }

    // Opens the default workspace (no name, user or password). Opening an open workspace
    // does nothing.
    void Open() { m_bOpen = true; }
    void Close() noexcept { m_bOpen = false; }
    bool IsOpen() const noexcept { return m_bOpen; }

private:
    bool m_bOpen = false;
};
