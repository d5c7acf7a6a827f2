// A database the program knows nothing particular about: its failures are told by their
// SQLSTATEs alone, it gets no advice and no lock beyond its deletes'.
#include <algorithm>

#include "migration/target/kinds/TargetKinds.h"

namespace {

class COdbcKind final : public CTargetKind {
public:
    std::string Name() const override { return "ODBC"; }
    bool IsDriverLibrary(const std::string& /*fileName*/) const override { return false; }
    bool IsDbmsName(const std::string& /*dbmsName*/) const override { return false; }

    // Whatever way the known kinds spell a temporary table, in turn.
    std::vector<CProbeTable> ProbeTables() const override {
        std::vector<CProbeTable> tables;
        for (const CTargetKind* kind : KnownKinds()) {
            for (const CProbeTable& table : kind->ProbeTables()) {
                if (std::none_of(tables.begin(), tables.end(), [&](const CProbeTable& known) {
                        return known.create == table.create;
                    })) {
                    tables.push_back(table);
                }
            }
        }
        return tables;
    }

    // No run lock: nothing is known that every such database would share with the next run.
};

}  // namespace

const CTargetKind& OdbcKind() {
    static const COdbcKind* const kind = new COdbcKind;  // never destroyed: see KnownKinds
    return *kind;
}
