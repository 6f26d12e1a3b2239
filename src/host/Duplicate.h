// Recognising a second running instance by a named system-wide mutex: the
// first claim of a name creates the mutex, every later claim finds it. The
// mutex is never waited on; its existence alone marks the instance, and it
// lasts as long as one handle to it is open.
//
// A claim is held in a plain handle value that is 0 when nothing is held,
// passed by reference; the one claim a process makes for itself lives in
// InstanceHandle. ReleaseNamedMutex gives a claim up, and a handle that is
// never released is closed by the system when the process ends.
#pragma once

#include <windows.h>

#include <string>

namespace saver {

// The name and handle of this process's own instance claim. The handle is
// left to the end of the process unless ReleaseInstance gives it up.
extern std::string InstanceName;
extern HANDLE InstanceHandle;

// True when this call created the mutex named name; handle then holds it.
// False when the name already existed (whoever holds it, this process
// included) or the mutex could not be created; handle is then 0. A claim
// that handle held before is given up first. Two processes that claim a name
// at the same moment may both get true.
bool ClaimNamedMutex(HANDLE& handle, const std::string& name);

// Closes a held claim and sets handle to 0; a handle of 0 is left alone.
void ReleaseNamedMutex(HANDLE& handle);

// Stores name in InstanceName and claims it into InstanceHandle.
bool ClaimInstance(const std::string& name);

// Gives up the claim in InstanceHandle. InstanceName stays.
void ReleaseInstance();

} // namespace saver
