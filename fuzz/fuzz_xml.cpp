// libFuzzer entry for the XML reader: any bytes must parse without a crash or a hang, and the
// tree must survive the lookups and being written back as text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dranbase/clsxml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    dranbase::clsXML doc;
    doc.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    dranbase::clsXMLCollection list;
    doc.CollectByName("engine", list);
    doc.FindPath("tourney/engines");
    doc.GetChildText("tourney/options/rounds", "1");
    std::string text = doc.ToText();
    dranbase::clsXML again;
    again.Parse(text);
    return 0;
}
