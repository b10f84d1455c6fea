// Stand-in for the Windows SDK's COM umbrella header.
#ifndef HALVEX_STANDIN_OBJBASE_H_
#define HALVEX_STANDIN_OBJBASE_H_

#include "combaseapi.h"
#include "objidl.h"
#include "unknwn.h"

#endif  // HALVEX_STANDIN_OBJBASE_H_
