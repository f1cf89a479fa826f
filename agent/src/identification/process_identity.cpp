#include "identification/process_identity.h"

namespace brisko {

void identifyProcess(ProcessRecord& record, bool skipDescription) {
    std::optional<ApplicationIdentity> identity = identifyProcessById(record.processId, skipDescription);
    if (!identity) return;
    if (identity->packaged) record.kind = ProcessKind::Packaged;
    record.applicationId = std::move(identity->applicationId);
    record.applicationName = std::move(identity->applicationName);
}

}  // namespace brisko
