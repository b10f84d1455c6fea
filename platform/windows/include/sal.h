// Stand-in for the source annotations of the Windows SDK. Only the compiler of the SDK reads them,
// so here they expand to nothing.
#ifndef HALVEX_STANDIN_SAL_H_
#define HALVEX_STANDIN_SAL_H_

#define _In_
#define _In_opt_
#define _In_z_
#define _In_opt_z_
#define _In_reads_(size)
#define _In_reads_bytes_(size)
#define _In_reads_opt_(size)
#define _In_reads_bytes_opt_(size)
#define _Out_
#define _Out_opt_
#define _Out_writes_(size)
#define _Out_writes_opt_(size)
#define _Out_writes_bytes_(size)
#define _Out_writes_bytes_opt_(size)
#define _Out_writes_to_opt_(size, count)
#define _Inout_
#define _Inout_opt_
#define _Inout_updates_(size)
#define _Outptr_
#define _Outptr_opt_
#define _Outptr_result_maybenull_
#define _Ret_maybenull_
#define _Success_(expression)
#define _Check_return_
#define _Use_decl_annotations_

#endif  // HALVEX_STANDIN_SAL_H_
