// A parser implemented through the declaration that callers built with GCC see of IXmlParser: its
// table is laid out as the one their calls into fetchwell.dll go through, so checking this table
// checks the slots and calling convention of those calls.
#include "fetchwell/loadercontrol.h"

class CParserLayoutProbe final : public IXmlParser {
public:
    void* FETCHWELL_THISCALL DestroyParser(unsigned int flags) override {
        m_flags = flags;
        return this;
    }
    const CXMLNode* FETCHWELL_THISCALL getXMLTree() const override { return nullptr; }

private:
    unsigned int m_flags = 0;
};

extern "C" __declspec(dllexport) IXmlParser* MakeParserLayoutProbe() {
    return new CParserLayoutProbe;
}
