// The Imaging Component's class object, created by CoCreateInstance.
#ifndef HALVEX_STANDIN_WIC_IMAGING_FACTORY_H_
#define HALVEX_STANDIN_WIC_IMAGING_FACTORY_H_

#include <unknwn.h>

namespace halvex::platform {

// A new imaging factory with one reference, or null when out of memory.
IUnknown* CreateImagingFactory();

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_WIC_IMAGING_FACTORY_H_
