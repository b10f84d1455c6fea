// Stand-in for the Windows SDK's umbrella header: the Win32 API that the product uses. COM, Media
// Foundation and the other component interfaces have headers of their own.
#ifndef HALVEX_STANDIN_WINDOWS_H_
#define HALVEX_STANDIN_WINDOWS_H_

#include "sal.h"

#include "guiddef.h"
#include "minwindef.h"
#include "winerror.h"

#include "fileapi.h"
#include "profileapi.h"
#include "winbase.h"
#include "wingdi.h"
#include "winnls.h"
#include "winreg.h"
#include "winuser.h"

#endif  // HALVEX_STANDIN_WINDOWS_H_
