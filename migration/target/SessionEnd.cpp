#include "migration/target/SessionEnd.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "dbaccess/odbc/OdbcDatabase.h"
#include "migration/RunThread.h"
#include "migration/target/kinds/TargetKinds.h"

namespace {

// Each try: the connect and each statement.
constexpr unsigned kTrySeconds = 3;
// The tries on the background thread: how long, and how far apart.
constexpr auto kRetryFor = std::chrono::seconds(60);
constexpr auto kRetryEvery = std::chrono::seconds(2);

struct CEnding {
    std::string connection;
    const CTargetKind* kind = nullptr;
    std::string id;

    std::mutex mutex;
    bool ended = false;
    bool retrying = false;
};

bool TryToEnd(CEnding& ending) {
    try {
        CDatabase database;
        database.SetLoginTimeout(kTrySeconds);
        database.SetQueryTimeout(kTrySeconds);
        database.OpenEx(ending.connection, noOdbcDialog);
        const bool ended = ending.kind->EndSession(database, ending.id);
        database.Close();
        if (ended) {
            const std::lock_guard lock(ending.mutex);
            ending.ended = true;
        }
        return ended;
    } catch (...) {
        return false;
    }
}

void KeepTrying(const std::shared_ptr<CEnding>& ending) {
    const auto until = std::chrono::steady_clock::now() + kRetryFor;
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(kRetryEvery);
        if (TryToEnd(*ending)) {
            break;
        }
    }
    const std::lock_guard lock(ending->mutex);
    ending->retrying = false;
}

bool IsSessionId(const std::string& id) {
    return !id.empty() && id.size() < 12 && id.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::function<bool()> SessionEnder(const CResolvedTarget& target, const CTargetKind& kind,
                                   const std::string& id) {
    if (!IsSessionId(id)) {
        return [] { return false; };
    }
    auto ending = std::make_shared<CEnding>();
    ending->connection = KindOfLibrary(target.connection).AmendConnection(target.connection);
    ending->kind = &kind;
    ending->id = id;
    return [ending]() noexcept {
        {
            const std::lock_guard lock(ending->mutex);
            if (ending->ended) {
                return true;
            }
            if (ending->retrying) {
                return false;
            }
        }
        if (TryToEnd(*ending)) {
            return true;
        }
        const std::lock_guard lock(ending->mutex);
        if (!ending->retrying) {
            try {
                // Counted with the run's threads: a program that ends meanwhile does not tear
                // down what the thread still uses.
                std::thread([ending, counted = std::make_shared<CRunThread::CLiveThread>()] {
                    KeepTrying(ending);
                }).detach();
                ending->retrying = true;
            } catch (...) {
                // No thread to spare: the one try is all there is.
            }
        }
        return false;
    };
}
