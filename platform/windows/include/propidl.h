// Stand-in for the Windows SDK's property variant. Only passed as a null pointer by the product
// (activation parameters), so the type stays incomplete.
#ifndef HALVEX_STANDIN_PROPIDL_H_
#define HALVEX_STANDIN_PROPIDL_H_

struct tagPROPVARIANT;
typedef struct tagPROPVARIANT PROPVARIANT;

#endif  // HALVEX_STANDIN_PROPIDL_H_
