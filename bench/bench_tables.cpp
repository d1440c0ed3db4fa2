// Reading a large folder's contents table through the stand-in, in batches
// of 100 rows sorted by delivery time as the library reads it, against
// copying the same values straight out of the model in the same run.
// Best of several runs, on processor time.
//   bench_tables [messages, default 20000]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "mapisim/decl/mapitags.h"
#include "mapisim/mapi/entryid.h"
#include "mapisim/model/world.h"

using namespace mapisim::model;

namespace {

constexpr int kRuns = 5;

double cpu_seconds(const std::function<void()>& f)
{
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        const std::clock_t start = std::clock();
        f();
        best = std::min(best, double(std::clock() - start) / CLOCKS_PER_SEC);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    auto world = std::make_shared<World>();
    Profile& p = world->add_profile("Bench", true);
    auto store = p.add_store("Personal Folders", "Personal Folders");
    auto folder = store->add_folder(*store->root(), "Inbox");
    for (int i = 0; i < count; ++i) {
        auto m = store->add_message(*folder);
        m->props.set(Value::string8(PR_SUBJECT_A, "Subject number " + std::to_string(i)));
        m->props.set(Value::string8(PR_SENDER_NAME_A, "Sender " + std::to_string(i % 97)));
        m->props.set(Value::string8(PR_MESSAGE_CLASS_A, "IPM.Note"));
        m->props.set(Value::systime(PR_MESSAGE_DELIVERY_TIME,
                                    {132000000000000000ull + 7919ull * 1000000 * (i % 5003)}));
        m->props.set(Value::i4(PR_MESSAGE_FLAGS, MSGFLAG_READ));
        m->props.set(Value::i4(PR_IMPORTANCE, i % 3));
    }
    install(world);

    MAPIInitialize(nullptr);
    IMAPISession* session = nullptr;
    if (MAPILogonEx(0, const_cast<LPSTR>("Bench"), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION,
                    &session) != S_OK)
        return 1;
    const auto eid = mapisim::mapi::encode(
        {mapisim::mapi::Kind::Folder, store->number(), folder->number(), false});
    IMAPIFolder* inbox = nullptr;
    ULONG type = 0;
    session->OpenEntry(static_cast<ULONG>(eid.size()),
                       reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(eid.data())), nullptr,
                       MAPI_BEST_ACCESS, &type, reinterpret_cast<LPUNKNOWN*>(&inbox));

    SizedSPropTagArray(6, cols) = {6,
                                   {PR_ENTRYID, PR_SUBJECT_A, PR_SENDER_NAME_A, PR_MESSAGE_CLASS_A,
                                    PR_MESSAGE_DELIVERY_TIME, PR_IMPORTANCE}};
    SSortOrderSet sort{1, 0, 0, {{PR_MESSAGE_DELIVERY_TIME, TABLE_SORT_DESCEND}}};
    std::size_t rows_read = 0;
    const double table = cpu_seconds([&] {
        IMAPITable* t = nullptr;
        inbox->GetContentsTable(0, &t);
        t->SetColumns(reinterpret_cast<LPSPropTagArray>(&cols), TBL_BATCH);
        t->SortTable(&sort, TBL_BATCH);
        rows_read = 0;
        for (;;) {
            LPSRowSet rows = nullptr;
            if (t->QueryRows(100, 0, &rows) != S_OK) break;
            const ULONG n = rows->cRows;
            rows_read += n;
            FreeProws(rows);
            if (!n) break;
        }
        t->Release();
    });

    // The same values, copied and sorted without MAPI in between.
    std::size_t copied = 0;
    const double direct = cpu_seconds([&] {
        std::vector<std::vector<Value>> out;
        for (auto& m : folder->messages()) {
            std::vector<Value> row;
            for (ULONG tag : cols.aulPropTag)
                if (auto v = m->props.get(tag)) row.push_back(*v);
            out.push_back(std::move(row));
        }
        std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
            return a[3].template get<FileTime>()->ticks > b[3].template get<FileTime>()->ticks;
        });
        copied = out.size();
    });

    inbox->Release();
    session->Release();
    MAPIUninitialize();
    std::printf("contents table, %zu rows sorted, 100 per QueryRows: %.1f ms (%.0f rows/s)\n",
                rows_read, table * 1e3, rows_read / table);
    std::printf("baseline, %zu rows copied from the model and sorted: %.1f ms\n", copied,
                direct * 1e3);
    std::printf("ratio table/baseline: %.1f\n", table / direct);
    return rows_read == static_cast<std::size_t>(count) ? 0 : 1;
}
