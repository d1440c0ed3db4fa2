// What the recipient and attachment tables share: their row readers and
// reading a row by column position.
#pragma once

#include <cstdint>
#include <cstring>

#include "frame/handles.h"

// GetRowCount of a message's table: the count, or -1.
int32_t MessageTableRowCount(OrviMapiTable table);

// QueryRows of one row: hands out the row set, empty or not, and returns its
// row count (1, or 0 at the end); -1 on failure.
int32_t MessageTableNextRow(OrviMapiTable table, OrviMapiRowSet* rowsOut);

// Columns are found by position and used only with their expected tag. A
// row shorter than its column set reads as missing the columns it lacks.
class RowReader {
public:
    explicit RowReader(const SRow& row) : row_(row) {}

    const SPropValue* Column(ULONG column) const
    {
        return row_.lpProps != nullptr && column < row_.cValues ? &row_.lpProps[column] : nullptr;
    }
    const SPropValue* Find(ULONG column, ULONG expectedTag) const
    {
        const SPropValue* value = Column(column);
        return value != nullptr && value->ulPropTag == expectedTag && Usable(*value) ? value
                                                                                     : nullptr;
    }

    // Length 0 and the pointer left alone when missing.
    void Text(ULONG column, ULONG expectedTag, uint32_t& length, char*& text) const
    {
        const SPropValue* value = Find(column, expectedTag);
        if (value == nullptr) {
            length = 0;
            return;
        }
        length = static_cast<uint32_t>(std::strlen(value->Value.lpszA));
        text = value->Value.lpszA;
    }
    // Length 0 and a null pointer when missing.
    void TextOrNull(ULONG column, ULONG expectedTag, uint32_t& length, char*& text) const
    {
        text = nullptr;
        Text(column, expectedTag, length, text);
    }

private:
    // A text property with a null pointer is not expected from MAPI; it
    // reads as missing rather than crash.
    static bool Usable(const SPropValue& value)
    {
        return PROP_TYPE(value.ulPropTag) != PT_STRING8 || value.Value.lpszA != nullptr;
    }

    const SRow& row_;
};
