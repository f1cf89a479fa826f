/* Build configuration of libxcrypt's bcrypt for mingw-w64 (both targets are little-endian). */
#ifndef SUPPORT_BCRYPT_CONFIG_H
#define SUPPORT_BCRYPT_CONFIG_H

#define HAVE_SYS_TYPES_H 1
#define HAVE_STATIC_ASSERT_IN_ASSERT_H 1
#define HAVE_MAX_ALIGN_T 1
#define ENDIANNESS_IS_LITTLE 1
#define ENDIANNESS_IS_BIG 0
#define ENDIANNESS_IS_PDP 0

#endif
