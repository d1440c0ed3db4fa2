/*
 * Lists the default store's Inbox and saves the first HTML body it finds.
 *
 *   list_inbox [OUTPUT.html [MAILBOX.json]]
 *
 * On Windows the library works on the profile's MAPI. Elsewhere it runs on
 * the stand-in MAPI, which is first given a mailbox description: the
 * project's sample mailbox unless MAILBOX.json is named.
 */
#include <stdio.h>

#include <OrviMapi.h>
#ifndef _WIN32
#include <mapisim/mapisim.h>
#endif

#ifndef SAMPLE_MAILBOX
#define SAMPLE_MAILBOX "samples/mailbox.json"
#endif

enum { INBOX = 32, UTF8 = 65001 };

/* A body stream is a COM IStream: Read is the fourth entry of its method
 * table, after QueryInterface, AddRef and Release. COM methods are stdcall
 * on Windows; the stand-in's elsewhere use the compiler's default. */
#if defined(_WIN32)
#define STREAM_METHOD __stdcall
#else
#define STREAM_METHOD
#endif
typedef long(STREAM_METHOD *StreamRead)(OrviMapiStream self, void *buffer, uint32_t size,
                                        uint32_t *read);

static long ReadStream(OrviMapiStream stream, void *buffer, uint32_t size, uint32_t *read)
{
    StreamRead *methods = *(StreamRead **)stream;
    return methods[3](stream, buffer, size, read);
}

static int Fail(const char *what)
{
    char text[1024];
    uint32_t length;
    OrviMapiGetLastError(text, sizeof text, &length);
    fprintf(stderr, "%s failed:%s\n", what, text);
    return 1;
}

/* Writes the message's HTML body to path; 1 when it had one. */
static int SaveHtml(OrviMapiMessage message, const char *path)
{
    OrviMapiStream stream;
    char buffer[4096];
    uint32_t read = 0;
    FILE *file;
    if (OrviMapiMsgGetBodyHTMLStream(message, UTF8, &stream) != 0) return 0;
    file = fopen(path, "wb");
    while (file != NULL && ReadStream(stream, buffer, sizeof buffer, &read) >= 0 && read > 0)
        fwrite(buffer, 1, read, file);
    if (file != NULL) fclose(file);
    OrviMapiReleaseStream(stream);
    return file != NULL;
}

/* Prints the rows of one batch; saves the first HTML body found. */
static void ListRows(OrviMapiFolder inbox, OrviMapiRowSet rows, int32_t count, const char *output,
                     int *saved)
{
    int32_t i;
    for (i = 0; i < count; i++) {
        FolderContentsRecord record;
        char sender[256] = "";
        OrviMapiMessage message;
        if (OrviMapiFolderContReadParam(rows, (uint32_t)i, &record) != 0) continue;
        OrviMapiFolderContGetMsgSenderName(rows, sizeof sender, (uint32_t)i, sender);
        printf("%04u-%02u-%02u %02u:%02u  %-22s %.*s\n", record.delivered.year,
               record.delivered.month, record.delivered.day, record.delivered.hour,
               record.delivered.minute, sender, (int)record.subjectLength, record.subject);
        if (*saved || OrviMapiMsgGet(inbox, record.entryIdSize, record.entryId, &message) != 0)
            continue;
        if (SaveHtml(message, output)) {
            printf("    HTML body saved to %s\n", output);
            *saved = 1;
        }
        OrviMapiReleaseMsg(message);
    }
}

int main(int argc, char **argv)
{
    const char *output = argc > 1 ? argv[1] : "message.html";
    OrviMapiTable stores, contents;
    OrviMapiRowSet rows;
    OrviMapiStore store = NULL;
    OrviMapiFolder inbox = NULL;
    int32_t count;
    int saved = 0;

#ifndef _WIN32
    if (mapisim_load_mailbox_file(argc > 2 ? argv[2] : SAMPLE_MAILBOX) != 0) {
        fprintf(stderr, "mailbox: %s\n", mapisim_last_load_error());
        return 1;
    }
#endif
    if (OrviMapiStart("", 0) != 0) return Fail("OrviMapiStart");

    /* The default store: the only row of the store table asked for it. */
    if (OrviMapiMsgStoreQuerySet(&stores, 0) != 0) return Fail("OrviMapiMsgStoreQuerySet");
    rows = NULL;
    if (OrviMapiMsgStoreQueryGetRow(stores, &rows) == 1)
        OrviMapiMsgStoreResultOpenStore(rows, &store);
    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(stores);
    if (store == NULL) return Fail("opening the default store");

    if (OrviMapiFolderFindByType(store, INBOX, &inbox) != 0 || inbox == NULL)
        return Fail("OrviMapiFolderFindByType");
    if (OrviMapiFolderContQuerySet(inbox, &contents) != 0)
        return Fail("OrviMapiFolderContQuerySet");
    /* Batches of up to 100 rows; each row set, even the last empty one, is ours. */
    for (;;) {
        rows = NULL;
        count = OrviMapiFolderContQueryGetRow(contents, &rows);
        if (count > 0) ListRows(inbox, rows, count, output, &saved);
        OrviMapiReleaseResult(rows);
        if (count <= 0) break;
    }

    OrviMapiReleaseTable(contents);
    OrviMapiReleaseFolder(inbox);
    OrviMapiMsgStoreRelease(store);
    OrviMapiStop();
    return count < 0 ? Fail("OrviMapiFolderContQueryGetRow") : 0;
}
