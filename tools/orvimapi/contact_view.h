// ContactRecords as the command shows them: a line each, or JSON with the
// fields by name.
#pragma once

#include <cstdio>
#include <string>

#include "json.h"
#include "library.h"

namespace orvimapi {

// The record's sixteen fields; an empty field (length 0, null pointer) is null.
Json DescribeContact(const ContactRecord& record);

// "Display Name  <TYPE:address>, …  company  [file under]" on one line.
void PrintContactLine(FILE* out, const Json& contact);

// An e-mail entry given as TYPE:ADDRESS ("SMTP:ann@example.com").
struct EmailArgument {
    std::string type;
    std::string address;
};
EmailArgument ParseEmailArgument(const std::string& text);

} // namespace orvimapi
