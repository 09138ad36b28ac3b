// The line-by-line page parser of the HTTP client.
#include "http/KoruHttpConnect.h"

void CKoruHttpConnect::InitParserTables() {}

std::string CKoruHttpConnect::ParsePageLine(std::string /*text*/, int /*mode*/, int /*finish*/) {
    return std::string();
}
