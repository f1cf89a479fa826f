/* The product's name and version, for the version resource and the About dialog's line. */
#pragma once

#define HARBEE_PRODUCT_NAME "Corvel Harbee Juvo"
#define HARBEE_VERSION_TEXT "2.5.4"
#define HARBEE_VERSION_NUMBERS 2, 5, 4, 0
#define HARBEE_PRODUCT_LINE HARBEE_PRODUCT_NAME ", Version " HARBEE_VERSION_TEXT
