#include "contact_view.h"

namespace orvimapi {

namespace {

Json Field(uint32_t length, const char* text)
{
    if (text == nullptr) return nullptr;
    return std::string(text, length);
}

std::string Member(const Json& contact, const char* name)
{
    const Json* value = contact.find(name);
    return value == nullptr || value->text() == "null" ? std::string() : value->text();
}

} // namespace

Json DescribeContact(const ContactRecord& r)
{
    Json contact = Json::object();
    contact.set("entryId",
                r.entryId == nullptr ? Json(nullptr) : Json(Hex(r.entryId, r.entryIdSize)));
    contact.set("subject", Field(r.subjectLength, r.subject));
    contact.set("displayName", Field(r.displayNameLength, r.displayName));
    contact.set("company", Field(r.companyLength, r.company));
    contact.set("displayNamePrefix", Field(r.displayNamePrefixLength, r.displayNamePrefix));
    contact.set("givenName", Field(r.givenNameLength, r.givenName));
    contact.set("middleName", Field(r.middleNameLength, r.middleName));
    contact.set("surname", Field(r.surnameLength, r.surname));
    contact.set("generation", Field(r.generationLength, r.generation));
    contact.set("fileUnder", Field(r.fileUnderLength, r.fileUnder));
    contact.set("email1AddressType", Field(r.email1AddressTypeLength, r.email1AddressType));
    contact.set("email1Address", Field(r.email1AddressLength, r.email1Address));
    contact.set("email2AddressType", Field(r.email2AddressTypeLength, r.email2AddressType));
    contact.set("email2Address", Field(r.email2AddressLength, r.email2Address));
    contact.set("email3AddressType", Field(r.email3AddressTypeLength, r.email3AddressType));
    contact.set("email3Address", Field(r.email3AddressLength, r.email3Address));
    return contact;
}

void PrintContactLine(FILE* out, const Json& contact)
{
    std::string emails;
    for (const char* n : {"1", "2", "3"}) {
        const std::string type =
            Member(contact, (std::string("email") + n + "AddressType").c_str());
        const std::string address = Member(contact, (std::string("email") + n + "Address").c_str());
        if (type.empty() && address.empty()) continue;
        if (!emails.empty()) emails += ", ";
        emails += "<" + (type.empty() ? std::string("?") : type) + ":" + address + ">";
    }
    std::string line = Member(contact, "displayName");
    if (line.empty()) line = "(no name)";
    if (!emails.empty()) line += "  " + emails;
    const std::string company = Member(contact, "company");
    if (!company.empty()) line += "  " + company;
    const std::string fileUnder = Member(contact, "fileUnder");
    if (!fileUnder.empty()) line += "  [" + fileUnder + "]";
    std::fprintf(out, "%s\n", line.c_str());
}

EmailArgument ParseEmailArgument(const std::string& text)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        Usage("--email takes TYPE:ADDRESS (SMTP:ann@example.com), not \"" + text + "\"");
    return {text.substr(0, colon), text.substr(colon + 1)};
}

} // namespace orvimapi
