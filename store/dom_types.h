// The DOM's interfaces, with the identifiers that __uuidof and IID_PPV_ARGS need
// (the mingw-w64 header declares the IIDs but not their __uuidof form).
#pragma once

#include <msxml.h>

#define TARNWICK_DOM_UUID(type, d1, d2)                                                                      \
    __CRT_UUID_DECL(type, d1, 0x7b36, d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60)

TARNWICK_DOM_UUID(IXMLDOMNode, 0x2933bf80, 0x11d2)
TARNWICK_DOM_UUID(IXMLDOMDocument, 0x2933bf81, 0x11d2)
TARNWICK_DOM_UUID(IXMLDOMNodeList, 0x2933bf82, 0x11d2)
TARNWICK_DOM_UUID(IXMLDOMNamedNodeMap, 0x2933bf83, 0x11d2)
TARNWICK_DOM_UUID(IXMLDOMCharacterData, 0x2933bf84, 0x11d2)
TARNWICK_DOM_UUID(IXMLDOMAttribute, 0x2933bf85, 0x11d2)
TARNWICK_DOM_UUID(IXMLDOMElement, 0x2933bf86, 0x11d2)
TARNWICK_DOM_UUID(IXMLDOMText, 0x2933bf87, 0x11d2)
TARNWICK_DOM_UUID(IXMLDOMComment, 0x2933bf88, 0x11d2)
TARNWICK_DOM_UUID(IXMLDOMProcessingInstruction, 0x2933bf89, 0x11d2)

#undef TARNWICK_DOM_UUID
