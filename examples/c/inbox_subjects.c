#include <stdio.h>
#include <OrviMapi.h>

int main(void)
{
    OrviMapiTable stores, contents;
    OrviMapiRowSet row, rows;
    OrviMapiStore store;
    OrviMapiFolder inbox;
    FolderContentsRecord message;
    int32_t i, count;

    if (OrviMapiStart("", 0) != 0) return 1; /* the default profile */
    OrviMapiMsgStoreQuerySet(&stores, 0);    /* the default store's row */
    OrviMapiMsgStoreQueryGetRow(stores, &row);
    if (OrviMapiMsgStoreResultOpenStore(row, &store) != 0) return 1;
    OrviMapiFolderFindByType(store, 32, &inbox); /* 32: the Inbox */
    OrviMapiFolderContQuerySet(inbox, &contents);
    while ((count = OrviMapiFolderContQueryGetRow(contents, &rows)) > 0) {
        for (i = 0; i < count; i++)
            if (OrviMapiFolderContReadParam(rows, i, &message) == 0)
                printf("%.*s\n", (int)message.subjectLength, message.subject);
        OrviMapiReleaseResult(rows);
    }
    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(contents);
    OrviMapiReleaseFolder(inbox);
    OrviMapiMsgStoreRelease(store);
    OrviMapiReleaseResult(row);
    OrviMapiReleaseTable(stores);
    OrviMapiStop();
    return 0;
}
