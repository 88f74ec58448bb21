/* Preprocessor machinery that turns a row of RequestFamily.def into code.
 *
 * A row's fields are elements such as in(u32) or out(s). VDB_SEQ(M, ...)
 * expands M_in(i, code) or M_out(i, code) for every element, i being its
 * position from 1, with nothing between; VDB_LIST(M, ...) puts commas
 * between. The element `none` expands M_none(i, none), which every user
 * defines as nothing. Valid C and C++.
 */
#ifndef VORNVDB_REQUESTMACROS_H
#define VORNVDB_REQUESTMACROS_H

#define VDB_CAT_(a, b) a##b
#define VDB_CAT(a, b) VDB_CAT_(a, b)

/* in(code) -> in, code ; out(code) -> out, code ; none -> none, none */
#define VDB_SPLIT_in(code) in, code
#define VDB_SPLIT_out(code) out, code
#define VDB_SPLIT_none none, none
#define VDB_APPLY(M, i, e) VDB_APPLY_(M, i, VDB_SPLIT_##e)
#define VDB_APPLY_(M, ...) VDB_APPLY__(M, __VA_ARGS__)
#define VDB_APPLY__(M, i, dir, code) M##_##dir(i, code)

#define VDB_NARGS(...) VDB_NARGS_(__VA_ARGS__, 24,23,22,21,20,19,18,17,16,15,14,13,12,11,10,9,8,7,6,5,4,3,2,1, 0)
#define VDB_NARGS_(_1,_2,_3,_4,_5,_6,_7,_8,_9,_10,_11,_12,_13,_14,_15,_16,_17,_18,_19,_20,_21,_22,_23,_24, n, ...) n
#define VDB_SEQ(M, ...) VDB_CAT(VDB_SEQ_, VDB_NARGS(__VA_ARGS__))(M, __VA_ARGS__)
#define VDB_LIST(M, ...) VDB_CAT(VDB_LIST_, VDB_NARGS(__VA_ARGS__))(M, __VA_ARGS__)
#define VDB_SEQ_1(M, a1) VDB_APPLY(M, 1, a1)
#define VDB_LIST_1(M, a1) VDB_APPLY(M, 1, a1)
#define VDB_SEQ_2(M, a1, a2) VDB_SEQ_1(M, a1) VDB_APPLY(M, 2, a2)
#define VDB_LIST_2(M, a1, a2) VDB_LIST_1(M, a1), VDB_APPLY(M, 2, a2)
#define VDB_SEQ_3(M, a1, a2, a3) VDB_SEQ_2(M, a1, a2) VDB_APPLY(M, 3, a3)
#define VDB_LIST_3(M, a1, a2, a3) VDB_LIST_2(M, a1, a2), VDB_APPLY(M, 3, a3)
#define VDB_SEQ_4(M, a1, a2, a3, a4) VDB_SEQ_3(M, a1, a2, a3) VDB_APPLY(M, 4, a4)
#define VDB_LIST_4(M, a1, a2, a3, a4) VDB_LIST_3(M, a1, a2, a3), VDB_APPLY(M, 4, a4)
#define VDB_SEQ_5(M, a1, a2, a3, a4, a5) VDB_SEQ_4(M, a1, a2, a3, a4) VDB_APPLY(M, 5, a5)
#define VDB_LIST_5(M, a1, a2, a3, a4, a5) VDB_LIST_4(M, a1, a2, a3, a4), VDB_APPLY(M, 5, a5)
#define VDB_SEQ_6(M, a1, a2, a3, a4, a5, a6) VDB_SEQ_5(M, a1, a2, a3, a4, a5) VDB_APPLY(M, 6, a6)
#define VDB_LIST_6(M, a1, a2, a3, a4, a5, a6) VDB_LIST_5(M, a1, a2, a3, a4, a5), VDB_APPLY(M, 6, a6)
#define VDB_SEQ_7(M, a1, a2, a3, a4, a5, a6, a7) VDB_SEQ_6(M, a1, a2, a3, a4, a5, a6) VDB_APPLY(M, 7, a7)
#define VDB_LIST_7(M, a1, a2, a3, a4, a5, a6, a7) VDB_LIST_6(M, a1, a2, a3, a4, a5, a6), VDB_APPLY(M, 7, a7)
#define VDB_SEQ_8(M, a1, a2, a3, a4, a5, a6, a7, a8) VDB_SEQ_7(M, a1, a2, a3, a4, a5, a6, a7) VDB_APPLY(M, 8, a8)
#define VDB_LIST_8(M, a1, a2, a3, a4, a5, a6, a7, a8) VDB_LIST_7(M, a1, a2, a3, a4, a5, a6, a7), VDB_APPLY(M, 8, a8)
#define VDB_SEQ_9(M, a1, a2, a3, a4, a5, a6, a7, a8, a9) VDB_SEQ_8(M, a1, a2, a3, a4, a5, a6, a7, a8) VDB_APPLY(M, 9, a9)
#define VDB_LIST_9(M, a1, a2, a3, a4, a5, a6, a7, a8, a9) VDB_LIST_8(M, a1, a2, a3, a4, a5, a6, a7, a8), VDB_APPLY(M, 9, a9)
#define VDB_SEQ_10(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10) VDB_SEQ_9(M, a1, a2, a3, a4, a5, a6, a7, a8, a9) VDB_APPLY(M, 10, a10)
#define VDB_LIST_10(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10) VDB_LIST_9(M, a1, a2, a3, a4, a5, a6, a7, a8, a9), VDB_APPLY(M, 10, a10)
#define VDB_SEQ_11(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11) VDB_SEQ_10(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10) VDB_APPLY(M, 11, a11)
#define VDB_LIST_11(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11) VDB_LIST_10(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10), VDB_APPLY(M, 11, a11)
#define VDB_SEQ_12(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12) VDB_SEQ_11(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11) VDB_APPLY(M, 12, a12)
#define VDB_LIST_12(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12) VDB_LIST_11(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11), VDB_APPLY(M, 12, a12)
#define VDB_SEQ_13(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13) VDB_SEQ_12(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12) VDB_APPLY(M, 13, a13)
#define VDB_LIST_13(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13) VDB_LIST_12(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12), VDB_APPLY(M, 13, a13)
#define VDB_SEQ_14(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14) VDB_SEQ_13(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13) VDB_APPLY(M, 14, a14)
#define VDB_LIST_14(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14) VDB_LIST_13(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13), VDB_APPLY(M, 14, a14)
#define VDB_SEQ_15(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15) VDB_SEQ_14(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14) VDB_APPLY(M, 15, a15)
#define VDB_LIST_15(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15) VDB_LIST_14(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14), VDB_APPLY(M, 15, a15)
#define VDB_SEQ_16(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16) VDB_SEQ_15(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15) VDB_APPLY(M, 16, a16)
#define VDB_LIST_16(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16) VDB_LIST_15(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15), VDB_APPLY(M, 16, a16)
#define VDB_SEQ_17(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17) VDB_SEQ_16(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16) VDB_APPLY(M, 17, a17)
#define VDB_LIST_17(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17) VDB_LIST_16(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16), VDB_APPLY(M, 17, a17)
#define VDB_SEQ_18(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18) VDB_SEQ_17(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17) VDB_APPLY(M, 18, a18)
#define VDB_LIST_18(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18) VDB_LIST_17(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17), VDB_APPLY(M, 18, a18)
#define VDB_SEQ_19(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19) VDB_SEQ_18(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18) VDB_APPLY(M, 19, a19)
#define VDB_LIST_19(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19) VDB_LIST_18(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18), VDB_APPLY(M, 19, a19)
#define VDB_SEQ_20(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20) VDB_SEQ_19(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19) VDB_APPLY(M, 20, a20)
#define VDB_LIST_20(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20) VDB_LIST_19(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19), VDB_APPLY(M, 20, a20)
#define VDB_SEQ_21(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21) VDB_SEQ_20(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20) VDB_APPLY(M, 21, a21)
#define VDB_LIST_21(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21) VDB_LIST_20(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20), VDB_APPLY(M, 21, a21)
#define VDB_SEQ_22(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22) VDB_SEQ_21(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21) VDB_APPLY(M, 22, a22)
#define VDB_LIST_22(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22) VDB_LIST_21(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21), VDB_APPLY(M, 22, a22)
#define VDB_SEQ_23(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23) VDB_SEQ_22(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22) VDB_APPLY(M, 23, a23)
#define VDB_LIST_23(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23) VDB_LIST_22(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22), VDB_APPLY(M, 23, a23)
#define VDB_SEQ_24(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23, a24) VDB_SEQ_23(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23) VDB_APPLY(M, 24, a24)
#define VDB_LIST_24(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23, a24) VDB_LIST_23(M, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22, a23), VDB_APPLY(M, 24, a24)

/* C parameter declarations of a wrapper, each with its leading comma:
 * inputs by value or as C strings, outputs by pointer, output texts as a
 * buffer and its 16-bit size. */
#define VDB_CPARAM_none(i, c)
#define VDB_CPARAM_in(i, c) , VDB_CIN_##c(a##i)
#define VDB_CPARAM_out(i, c) , VDB_COUT_##c(a##i)
#define VDB_CIN_u8(n) uint8_t n
#define VDB_CIN_u16(n) uint16_t n
#define VDB_CIN_u32(n) uint32_t n
#define VDB_CIN_s(n) const char* n
#define VDB_CIN_x(n) const char* n
#define VDB_CIN_def(n) const VDBDEFREC* n
#define VDB_CIN_fspec(n) const VDBFIELDSPEC* n
#define VDB_CIN_seps(n) const VDBTEXTSEPS* n
#define VDB_CIN_profile(n) const VDBUSERPROFILE* n
#define VDB_CIN_cluster(n) const VDBDBCLUSTER* n
#define VDB_COUT_u8(n) uint8_t* n
#define VDB_COUT_u16(n) uint16_t* n
#define VDB_COUT_u32(n) uint32_t* n
#define VDB_COUT_s(n) char* n, uint16_t n##Size
#define VDB_COUT_def(n) VDBDEFREC* n
#define VDB_COUT_fspec(n) VDBFIELDSPEC* n
#define VDB_COUT_seps(n) VDBTEXTSEPS* n
#define VDB_COUT_profile(n) VDBUSERPROFILE* n
#define VDB_COUT_cluster(n) VDBDBCLUSTER* n

#endif
