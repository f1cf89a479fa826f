/* Only the bcrypt family of libxcrypt's hashes is compiled in. One entry point serves every
   subtype ($2a$, $2b$, $2x$, $2y$): the subtype letter of the setting selects the behaviour. */
#ifndef SUPPORT_BCRYPT_CRYPT_HASHES_H
#define SUPPORT_BCRYPT_CRYPT_HASHES_H

#define INCLUDE_bcrypt 1
#define INCLUDE_bcrypt_a 0
#define INCLUDE_bcrypt_x 0
#define INCLUDE_bcrypt_y 0

#include "bcrypt.h"

#endif
