// Per-thread COM apartments, as CoInitializeEx and CoUninitialize leave them.
#ifndef HALVEX_STANDIN_COM_APARTMENT_H_
#define HALVEX_STANDIN_COM_APARTMENT_H_

namespace halvex::platform {

// Whether the calling thread has entered an apartment that CoUninitialize has not yet left.
bool IsComInitializedOnCurrentThread();

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_COM_APARTMENT_H_
