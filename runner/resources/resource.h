// Identifiers of the executable's resources, shared by Runner.rc and the code that loads them.
#ifndef HALVEX_RUNNER_RESOURCES_RESOURCE_H_
#define HALVEX_RUNNER_RESOURCES_RESOURCE_H_

#define IDI_APP_ICON 101

#endif  // HALVEX_RUNNER_RESOURCES_RESOURCE_H_
