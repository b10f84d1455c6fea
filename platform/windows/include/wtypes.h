// Stand-in for the Windows SDK's basic COM types: the key of a device property.
#ifndef HALVEX_STANDIN_WTYPES_H_
#define HALVEX_STANDIN_WTYPES_H_

#include "guiddef.h"
#include "minwindef.h"

typedef struct _tagpropertykey {
  GUID fmtid;
  DWORD pid;
} PROPERTYKEY;

#endif  // HALVEX_STANDIN_WTYPES_H_
