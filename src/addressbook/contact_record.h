// Filling a ContactRecord from a row of the address-book or contact column
// set, and reading the values the contact writers take from one.
#pragma once

#include <cstdint>

#include "frame/export.h"
#include "frame/platform.h"

// A text field of the record: its length and its pointer.
struct ContactTextField {
    uint32_t ContactRecord::*length;
    char* ContactRecord::*text;
};

namespace contactfield {
inline constexpr ContactTextField Subject{&ContactRecord::subjectLength, &ContactRecord::subject};
inline constexpr ContactTextField DisplayName{&ContactRecord::displayNameLength,
                                              &ContactRecord::displayName};
inline constexpr ContactTextField Company{&ContactRecord::companyLength, &ContactRecord::company};
inline constexpr ContactTextField DisplayNamePrefix{&ContactRecord::displayNamePrefixLength,
                                                    &ContactRecord::displayNamePrefix};
inline constexpr ContactTextField GivenName{&ContactRecord::givenNameLength,
                                            &ContactRecord::givenName};
inline constexpr ContactTextField MiddleName{&ContactRecord::middleNameLength,
                                             &ContactRecord::middleName};
inline constexpr ContactTextField Surname{&ContactRecord::surnameLength, &ContactRecord::surname};
inline constexpr ContactTextField Generation{&ContactRecord::generationLength,
                                             &ContactRecord::generation};
inline constexpr ContactTextField FileUnder{&ContactRecord::fileUnderLength,
                                            &ContactRecord::fileUnder};
inline constexpr ContactTextField Email1AddressType{&ContactRecord::email1AddressTypeLength,
                                                    &ContactRecord::email1AddressType};
inline constexpr ContactTextField Email1Address{&ContactRecord::email1AddressLength,
                                                &ContactRecord::email1Address};
inline constexpr ContactTextField Email2AddressType{&ContactRecord::email2AddressTypeLength,
                                                    &ContactRecord::email2AddressType};
inline constexpr ContactTextField Email2Address{&ContactRecord::email2AddressLength,
                                                &ContactRecord::email2Address};
inline constexpr ContactTextField Email3AddressType{&ContactRecord::email3AddressTypeLength,
                                                    &ContactRecord::email3AddressType};
inline constexpr ContactTextField Email3Address{&ContactRecord::email3AddressLength,
                                                &ContactRecord::email3Address};
} // namespace contactfield

// Every field length 0 and null pointer.
void ClearContactRecord(ContactRecord& record);

// The value at a column position of a row, or null when the row is shorter
// (a row set read through another column set).
const SPropValue* RowValue(const SRow& row, ULONG position);

// Fills a text field from the value at `position` when it carries
// `expectedTag`, an 8-bit string tag; otherwise the field stays empty.
void FillTextField(ContactRecord& record, ContactTextField field, const SRow& row, ULONG position,
                   ULONG expectedTag);

// Fills the entry-identifier field from the value at `position` when it
// carries PR_ENTRYID.
void FillEntryIdField(ContactRecord& record, const SRow& row, ULONG position);
