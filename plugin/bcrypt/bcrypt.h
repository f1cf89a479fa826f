/* libxcrypt's bcrypt, compiled from the Debian package's sources (libxcrypt-source). */
#ifndef SUPPORT_BCRYPT_BCRYPT_H
#define SUPPORT_BCRYPT_BCRYPT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Scratch space the hash needs (libxcrypt's per-algorithm area; bcrypt uses about 4.3 KiB). */
#define BCRYPT_SCRATCH_SIZE 8192

/* Writes the 60-character bcrypt string of phrase under setting ("$2a$".."$2y$", cost, salt)
   and its NUL into output. On a bad setting, a cost below 04 or a failed self-test it leaves
   output untouched and sets errno. */
void crypt_bcrypt_rn(const char *phrase, size_t phr_size, const char *setting, size_t set_size,
                     uint8_t *output, size_t out_size, void *scratch, size_t scr_size);
void gensalt_bcrypt_rn(unsigned long count, const uint8_t *rbytes, size_t nrbytes, uint8_t *output,
                       size_t o_size);

#ifdef __cplusplus
}
#endif

#endif
