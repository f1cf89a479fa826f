/* The one constant of libxcrypt's public header that its bcrypt source needs. */
#ifndef SUPPORT_BCRYPT_CRYPT_H
#define SUPPORT_BCRYPT_CRYPT_H

#define CRYPT_OUTPUT_SIZE 384

#endif
