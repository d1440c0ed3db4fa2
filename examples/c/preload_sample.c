/* Test harness of the short example: gives the stand-in MAPI the sample
 * mailbox before main runs, as a profile would be there on Windows. */
#include <stdio.h>
#include <stdlib.h>

#include <mapisim/mapisim.h>

__attribute__((constructor)) static void LoadSampleMailbox(void)
{
    if (mapisim_load_mailbox_file(SAMPLE_MAILBOX) != 0) {
        fprintf(stderr, "mailbox: %s\n", mapisim_last_load_error());
        exit(1);
    }
}
