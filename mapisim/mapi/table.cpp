#include "mapisim/mapi/table.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "mapisim/decl/mapitags.h"
#include "mapisim/mapi/restriction.h"

namespace mapisim::mapi {
namespace {

constexpr ULONG TBL_LEAF_ROW_ = 1;

class Table final : public TakesAdviseSinks<ReportingObject<IMAPITable>>, public TableWatch {
public:
    Table(std::unique_ptr<RowSource> source, ULONG flags) : source_(std::move(source))
    {
        columns_ = source_->columns();
        if (flags & MAPI_UNICODE)
            for (ULONG& t : columns_)
                if (PROP_TYPE(t) == PT_STRING8) t = CHANGE_PROP_TYPE(t, PT_UNICODE);
    }

    // Unadvised before the rows the engine may ask about go.
    ~Table() override { sinks_.clear(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out, {&IID_IUnknown, &IID_IMAPITable});
    }

    HRESULT STDMETHODCALLTYPE Advise(ULONG mask, LPMAPIADVISESINK sink, ULONG* conn) override
    {
        Call call(&err_, kIface, "Advise");
        call.arg("mask", mask);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        return add_sink(sink, conn, call, [this, mask](AdviseSinks& sinks, LPMAPIADVISESINK s) {
            return sinks.add_table(this, mask, s);
        });
    }

    std::vector<Event> table_events(const model::Store& store, const Event& change) override
    {
        const RowChanges changes = source_->changes_for(store, change);
        if (changes.empty()) return {};
        auto event = [](ULONG table_event) {
            Event e;
            e.type = fnevTableModified;
            e.table_event = table_event;
            return e;
        };
        if (changes.whole || FAILED(refresh())) return {event(TABLE_CHANGED)};
        std::vector<Event> out;
        for (std::uint64_t key : changes.deleted) {
            Event e = event(TABLE_ROW_DELETED);
            e.index = instance_key(key);
            out.push_back(std::move(e));
        }
        // Rows the restriction hides are not announced.
        auto shown = [&](ULONG table_event, std::uint64_t key) {
            for (std::size_t i = 0; i < view_.size(); ++i) {
                if (view_[i]->key != key) continue;
                Event e = event(table_event);
                e.index = instance_key(key);
                if (i > 0) e.prior = instance_key(view_[i - 1]->key);
                e.row = row_values(*view_[i]);
                out.push_back(std::move(e));
                return;
            }
        };
        for (std::uint64_t key : changes.added) shown(TABLE_ROW_ADDED, key);
        for (std::uint64_t key : changes.modified) shown(TABLE_ROW_MODIFIED, key);
        return out;
    }

    HRESULT STDMETHODCALLTYPE GetStatus(ULONG* status, ULONG* type) override
    {
        Call call(&err_, kIface, "GetStatus");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!status || !type) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        *status = TBLSTAT_COMPLETE;
        *type = TBLTYPE_DYNAMIC;
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray tags, ULONG flags) override
    {
        Call call(&err_, kIface, "SetColumns", flags);
        if (tags) call.arg("count", tags->cValues);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!tags || tags->cValues == 0 || tags->cValues > kMaxItems)
            return call.fail(MAPI_E_INVALID_PARAMETER, "no columns, or too many");
        columns_.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE QueryColumns(ULONG flags, LPSPropTagArray* out) override
    {
        Call call(&err_, kIface, "QueryColumns", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        std::vector<ULONG> tags = columns_;
        if (flags & TBL_ALL_COLUMNS)
            for (ULONG t : source_->columns())
                if (std::find(tags.begin(), tags.end(), t) == tags.end()) tags.push_back(t);
        return call.done(make_tag_array(tags, out));
    }

    HRESULT STDMETHODCALLTYPE GetRowCount(ULONG flags, ULONG* count) override
    {
        Call call(&err_, kIface, "GetRowCount", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!count) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (HRESULT h = refresh(); FAILED(h)) return call.fail(h, "the container is gone");
        *count = static_cast<ULONG>(view_.size());
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK origin, LONG rows, LONG* sought) override
    {
        Call call(&err_, kIface, "SeekRow");
        call.arg("origin", origin);
        call.arg("rows", std::to_string(rows));
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (HRESULT h = refresh(); FAILED(h)) return call.fail(h, "the container is gone");
        long long base = 0;
        HRESULT result = S_OK;
        if (origin == BOOKMARK_BEGINNING) {
            base = 0;
        } else if (origin == BOOKMARK_CURRENT) {
            base = static_cast<long long>(cursor_);
        } else if (origin == BOOKMARK_END) {
            base = static_cast<long long>(view_.size());
        } else {
            auto it = bookmarks_.find(origin);
            if (it == bookmarks_.end())
                return call.fail(MAPI_E_INVALID_BOOKMARK, "no such bookmark");
            auto pos = locate(it->second);
            if (!pos.second) result = MAPI_W_POSITION_CHANGED;
            base = static_cast<long long>(pos.first);
        }
        const long long target = std::clamp(base + rows, 0LL, static_cast<long long>(view_.size()));
        set_cursor(static_cast<std::size_t>(target));
        if (sought) *sought = static_cast<LONG>(target - base);
        return call.done(result);
    }

    HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG num, ULONG den) override
    {
        Call call(&err_, kIface, "SeekRowApprox");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (den == 0 || num > den) return call.fail(MAPI_E_INVALID_PARAMETER, "bad fraction");
        if (HRESULT h = refresh(); FAILED(h)) return call.fail(h, "the container is gone");
        set_cursor(
            static_cast<std::size_t>(static_cast<unsigned long long>(view_.size()) * num / den));
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* row, ULONG* num, ULONG* den) override
    {
        Call call(&err_, kIface, "QueryPosition");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!row || !num || !den)
            return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (HRESULT h = refresh(); FAILED(h)) return call.fail(h, "the container is gone");
        *row = static_cast<ULONG>(cursor_);
        *num = static_cast<ULONG>(cursor_);
        *den = view_.empty() ? 1 : static_cast<ULONG>(view_.size());
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction res, BOOKMARK origin, ULONG flags) override
    {
        Call call(&err_, kIface, "FindRow", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!res) return call.fail(MAPI_E_INVALID_PARAMETER, "no restriction");
        Res r;
        if (HRESULT h = copy_restriction(*res, r); FAILED(h))
            return call.fail(h, "bad restriction");
        if (HRESULT h = refresh(); FAILED(h)) return call.fail(h, "the container is gone");
        std::size_t start = cursor_;
        if (origin == BOOKMARK_BEGINNING)
            start = 0;
        else if (origin == BOOKMARK_END)
            start = view_.size();
        else if (origin != BOOKMARK_CURRENT) {
            auto it = bookmarks_.find(origin);
            if (it == bookmarks_.end())
                return call.fail(MAPI_E_INVALID_BOOKMARK, "no such bookmark");
            start = locate(it->second).first;
        }
        const bool back = flags & DIR_BACKWARD;
        for (std::size_t n = 0; n < view_.size(); ++n) {
            long long i = back ? static_cast<long long>(start) - 1 - static_cast<long long>(n)
                               : static_cast<long long>(start + n);
            if (i < 0 || i >= static_cast<long long>(view_.size())) break;
            if (evaluate(r, getter(*view_[static_cast<std::size_t>(i)]))) {
                set_cursor(static_cast<std::size_t>(i));
                return call.done(S_OK);
            }
        }
        return call.fail(MAPI_E_NOT_FOUND, "no row matches");
    }

    HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction res, ULONG flags) override
    {
        Call call(&err_, kIface, "Restrict", flags);
        call.arg("restriction", res ? "given" : "none");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!res) {
            res_.reset();
        } else {
            Res r;
            if (HRESULT h = copy_restriction(*res, r); FAILED(h))
                return call.fail(h, "the restriction cannot be evaluated");
            res_ = std::move(r);
        }
        rewind();
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* out) override
    {
        Call call(&err_, kIface, "CreateBookmark");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (HRESULT h = refresh(); FAILED(h)) return call.fail(h, "the container is gone");
        *out = next_bookmark_++;
        bookmarks_[*out] = mark();
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK bm) override
    {
        Call call(&err_, kIface, "FreeBookmark");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (bm <= BOOKMARK_END) return call.done(S_OK);
        if (!bookmarks_.erase(bm)) return call.fail(MAPI_E_INVALID_BOOKMARK, "no such bookmark");
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet sort, ULONG flags) override
    {
        Call call(&err_, kIface, "SortTable", flags);
        if (sort) call.arg("keys", sort->cSorts);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!sort) return call.fail(MAPI_E_INVALID_PARAMETER, "no sort order");
        if (sort->cCategories > sort->cSorts || sort->cExpanded > sort->cCategories)
            return call.fail(MAPI_E_INVALID_PARAMETER, "more categories than keys");
        if (sort->cCategories) return call.fail(MAPI_E_TOO_COMPLEX, "categories are not supported");
        if (sort->cSorts > 64) return call.fail(MAPI_E_TOO_COMPLEX, "too many sort keys");
        for (ULONG i = 0; i < sort->cSorts; ++i) {
            const ULONG order = sort->aSort[i].ulOrder;
            if (order != TABLE_SORT_ASCEND && order != TABLE_SORT_DESCEND)
                return call.fail(MAPI_E_TOO_COMPLEX, "unsupported sort direction");
            if (PROP_TYPE(sort->aSort[i].ulPropTag) & MV_FLAG)
                return call.fail(MAPI_E_TOO_COMPLEX, "multi-valued sort keys are not supported");
        }
        sort_.assign(sort->aSort, sort->aSort + sort->cSorts);
        rewind();
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* out) override
    {
        Call call(&err_, kIface, "QuerySortOrder");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        void* p = nullptr;
        HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(CbNewSSortOrderSet(sort_.size())), &p);
        if (FAILED(hr)) return call.fail(hr, "out of memory");
        auto* s = static_cast<SSortOrderSet*>(p);
        s->cSorts = static_cast<ULONG>(sort_.size());
        s->cCategories = 0;
        s->cExpanded = 0;
        std::copy(sort_.begin(), sort_.end(), s->aSort);
        *out = s;
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE QueryRows(LONG count, ULONG flags, LPSRowSet* out) override
    {
        Call call(&err_, kIface, "QueryRows", flags);
        call.arg("rows", std::to_string(count));
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (count == 0) return call.fail(MAPI_E_INVALID_PARAMETER, "a row count of 0");
        if (HRESULT h = refresh(); FAILED(h)) return call.fail(h, "the container is gone");
        std::size_t want = count > 0 ? static_cast<std::size_t>(count)
                                     : static_cast<std::size_t>(-static_cast<long long>(count));
        if (const std::uint32_t cap = model::current().settings.queryrows_cap; cap && want > cap)
            want = cap;
        std::size_t start, n;
        if (count > 0) {
            start = cursor_;
            n = std::min(want, view_.size() - cursor_);
        } else {
            n = std::min(want, cursor_);
            start = cursor_ - n;
        }
        // Values kept as they are stored go out from where they are, and the
        // common computed ones as the OutValue itself; the others are made
        // here (reserved at the first: their addresses must not move until
        // the row is built).
        const std::uint32_t limit = value_limit();
        const std::size_t width = columns_.size();
        const bool short_term_ids = model::current().settings.short_term_ids_in_tables;
        RowSetBuilder built;
        if (HRESULT hr = built.start(n); FAILED(hr)) return call.fail(hr, "out of memory");
        std::vector<Value> made;
        // Every path below writes cells[c] for each row.
        Scratch<OutValue, kScratchItems, false> cell_scratch(width);
        OutValue* const cells = cell_scratch.data();
        const std::vector<std::uint32_t>& order = tag_order(columns_.data(), width);
        Scratch<const Value*, kScratchItems> kept_scratch(width);
        const Value** const kept_values = kept_scratch.data();
        for (std::size_t i = 0; i < n; ++i) {
            const Row& row = *view_[start + i];
            made.clear();
            row.stored_each(columns_.data(), order, kept_values);
            for (std::size_t c = 0; c < width; ++c) {
                const ULONG tag = columns_[c];
                // Entry identifiers may go out in their short-term form (raw()),
                // so they never go out as stored.
                const bool is_entry_id = PROP_ID(tag) == PROP_ID(PR_ENTRYID);
                const Value* kept = is_entry_id ? nullptr : kept_values[c];
                if (kept && returned_as_stored(*kept, tag, limit)) {
                    cells[c].set(*kept);
                    continue;
                }
                const Computed computed =
                    kept_values[c] ? Computed::Other : row.computed_out(tag, limit, cells[c]);
                if (computed == Computed::Out) {
                    // As raw() makes the short-term form of an identifier.
                    if (is_entry_id && short_term_ids) cells[c].bytes[0] = MAPI_SHORTTERM;
                    continue;
                }
                if (computed == Computed::Missing && !is_table_column(tag)) {
                    cells[c].set_error(tag, MAPI_E_NOT_FOUND);
                    continue;
                }
                std::optional<Value> value = computed == Computed::Other
                                                 ? raw(row, tag, !is_entry_id && !kept)
                                                 : table_column(row, tag);
                if (!value) {
                    cells[c].set_error(tag, MAPI_E_NOT_FOUND);
                    continue;
                }
                if (made.capacity() == 0) made.reserve(width);
                made.push_back(returned_value(std::move(value), tag, true));
                cells[c].set(made.back());
            }
            if (HRESULT hr = built.add(cells, width); FAILED(hr))
                return call.fail(hr, "out of memory");
        }
        *out = built.release();
        if (!(flags & TBL_NOADVANCE)) set_cursor(count > 0 ? start + n : start);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE Abort() override { return logged_only("Abort"); }

    HRESULT STDMETHODCALLTYPE ExpandRow(ULONG, LPBYTE, ULONG, ULONG flags, LPSRowSet*,
                                        ULONG*) override
    {
        return unsupported("ExpandRow", flags);
    }
    HRESULT STDMETHODCALLTYPE CollapseRow(ULONG, LPBYTE, ULONG flags, ULONG*) override
    {
        return unsupported("CollapseRow", flags);
    }

    HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG flags, ULONG, ULONG* status) override
    {
        Call call(&err_, kIface, "WaitForCompletion", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (status) *status = TBLSTAT_COMPLETE;
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG flags, ULONG, LPBYTE, ULONG*, LPBYTE*) override
    {
        return unsupported("GetCollapseState", flags);
    }
    HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG flags, ULONG, LPBYTE, BOOKMARK*) override
    {
        return unsupported("SetCollapseState", flags);
    }

protected:
    const char* iface() const override { return kIface; }
    const char* unsupported_why() const override { return "categories are not supported"; }

private:
    static constexpr const char* kIface = "IMAPITable";

    struct Mark {
        std::uint64_t key = 0;
        bool has_key = false;
        std::size_t index = 0;
    };

    // A row's value of a tag as a table shows it, before fitting; unstored
    // when the row's stored() has no value for the tag.
    std::optional<Value> raw(const Row& row, ULONG tag, bool unstored = false) const
    {
        if (auto v = unstored ? row.get_unstored(tag) : row.get(tag)) {
            if (PROP_ID(tag) == PROP_ID(PR_ENTRYID) &&
                model::current().settings.short_term_ids_in_tables)
                if (auto b = v->get<model::Bytes>()) return Value::binary(v->tag(), short_term(*b));
            return v;
        }
        return table_column(row, tag);
    }

    // Whether table_column() has a value for tag.
    static bool is_table_column(ULONG tag)
    {
        const ULONG id = PROP_ID(tag);
        return id == PROP_ID(PR_INSTANCE_KEY) || id == PROP_ID(PR_ROW_TYPE) ||
               id == PROP_ID(PR_DEPTH);
    }

    // The columns only a table has, for a row that has no value of tag.
    static std::optional<Value> table_column(const Row& row, ULONG tag)
    {
        switch (PROP_ID(tag)) {
            case PROP_ID(PR_INSTANCE_KEY):
                return instance_key(row.key);
            case PROP_ID(PR_ROW_TYPE):
                return Value::i4(PR_ROW_TYPE, TBL_LEAF_ROW_);
            case PROP_ID(PR_DEPTH):
                return Value::i4(PR_DEPTH, 0);
            default:
                return std::nullopt;
        }
    }

    static Value instance_key(std::uint64_t key)
    {
        model::Bytes b(4);
        for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(key >> (8 * i));
        return Value::binary(PR_INSTANCE_KEY, std::move(b));
    }

    Getter getter(const Row& row) const
    {
        return [this, &row](ULONG tag) { return fit(raw(row, tag), tag); };
    }

    std::vector<Value> row_values(const Row& row) const
    {
        std::vector<Value> values;
        values.reserve(columns_.size());
        for (ULONG tag : columns_) values.push_back(returned_value(raw(row, tag), tag, true));
        return values;
    }

    // The view is kept while the model has not changed since it was made.
    HRESULT refresh()
    {
        if (fresh_ && seen_ == model::generation()) return S_OK;
        fresh_ = false;
        std::vector<RowPtr> rows;
        if (HRESULT hr = source_->rows(rows); FAILED(hr)) return hr;
        if (res_) {
            std::vector<RowPtr> kept;
            for (auto& r : rows)
                if (evaluate(*res_, getter(*r))) kept.push_back(r);
            rows.swap(kept);
        }
        if (!sort_.empty()) {
            std::vector<std::vector<std::optional<Value>>> keys(rows.size());
            for (std::size_t i = 0; i < rows.size(); ++i)
                for (auto& s : sort_)
                    keys[i].push_back(fit(raw(*rows[i], s.ulPropTag), s.ulPropTag));
            std::vector<std::size_t> order(rows.size());
            std::iota(order.begin(), order.end(), 0);
            std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
                for (std::size_t k = 0; k < sort_.size(); ++k) {
                    int c = compare(keys[a][k], keys[b][k]);
                    if (sort_[k].ulOrder == TABLE_SORT_DESCEND) c = -c;
                    if (c) return c < 0;
                }
                return false;
            });
            std::vector<RowPtr> sorted;
            sorted.reserve(rows.size());
            for (std::size_t i : order) sorted.push_back(rows[i]);
            rows.swap(sorted);
        }
        view_.swap(rows);
        // Keep the cursor on the row it was on; failing that, at its place.
        auto pos = locate(cursor_mark_);
        set_cursor(pos.first);
        seen_ = model::generation();
        fresh_ = true;
        return S_OK;
    }

    Mark mark() const
    {
        Mark m;
        m.index = cursor_;
        if (cursor_ < view_.size()) {
            m.key = view_[cursor_]->key;
            m.has_key = true;
        }
        return m;
    }

    // Index of the marked row now, and whether that row is still there.
    std::pair<std::size_t, bool> locate(const Mark& m) const
    {
        if (m.has_key)
            for (std::size_t i = 0; i < view_.size(); ++i)
                if (view_[i]->key == m.key) return {i, true};
        return {std::min(m.index, view_.size()), !m.has_key};
    }

    // To the first row of whatever the next refresh shows.
    void rewind()
    {
        fresh_ = false;
        cursor_ = 0;
        cursor_mark_ = Mark{};
    }

    void set_cursor(std::size_t i)
    {
        cursor_ = std::min(i, view_.size());
        cursor_mark_ = mark();
    }

    std::unique_ptr<RowSource> source_;
    std::vector<ULONG> columns_;
    std::optional<Res> res_;
    std::vector<SSortOrder> sort_;
    std::vector<RowPtr> view_;
    std::size_t cursor_ = 0;
    Mark cursor_mark_;
    std::uint64_t seen_ = 0;
    bool fresh_ = false;
    std::map<BOOKMARK, Mark> bookmarks_;
    BOOKMARK next_bookmark_ = BOOKMARK_END + 1;
};

} // namespace

IMAPITable* new_table(std::unique_ptr<RowSource> source, ULONG flags)
{
    return new Table(std::move(source), flags);
}

} // namespace mapisim::mapi
