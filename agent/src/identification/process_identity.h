#pragma once
// Turns a process id into the application identifier and display name the service decides by.
#include <windows.h>

#include "identification/executable_identity.h"
#include "identification/process_record.h"

namespace brisko {

// Fills applicationId, applicationName and possibly kind of a record whose processId is set;
// a process that cannot be opened leaves the record as it is (the service then names it). With
// skipDescription, only a package identity is looked for.
void identifyProcess(ProcessRecord& record, bool skipDescription);

}  // namespace brisko
