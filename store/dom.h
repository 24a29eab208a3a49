// The one place where the store talks to its DOM. Each routine gives the result the
// store relies on even where the DOM is lax, as Wine's msxml3 is: names are checked
// against XML's Name production (it takes any name), appends that would make a cycle
// are refused (it makes the cycle and overflows its stack), and queries that no
// selection syntax completes are answered as failed selections without reaching it
// (it crashes on them).
#pragma once

#include "framework/com.h"

#include "store/dom_types.h"
#include "store/syntax.h"

#include <vector>

namespace dom {

using framework::ComPtr;

// A new, synchronous document that resolves nothing external and does not validate.
// E_FAIL when the DOM cannot be created, whatever the runtime said.
HRESULT createDocument(IXMLDOMDocument** out) noexcept;

// Reads the document from url (loading is synchronous); E_FAIL unless the DOM reports
// success both in its result and in its flag. A failure is described with fileName and
// the parser's reason.
HRESULT load(IXMLDOMDocument* doc, const OLECHAR* url, const OLECHAR* fileName) noexcept;
// Serializes the whole document into stream; the DOM's own result. The bytes are the
// ones the DOM writes to a file name (Wine's msxml3 writes both alike).
HRESULT save(IXMLDOMDocument* doc, IStream* stream) noexcept;

// The document's top-level nodes, taken out of it in order and held, so that a load
// that fails can be undone with the very same nodes (handles to them stay valid).
class DetachedChildren {
public:
    // Takes every top-level node out of doc. On failure the nodes already taken are
    // put back.
    HRESULT detach(IXMLDOMDocument* doc) noexcept;
    // Empties doc of whatever it holds now and puts the held nodes back in order.
    HRESULT restore(IXMLDOMDocument* doc) noexcept;

private:
    std::vector<ComPtr<IXMLDOMNode>> m_nodes;
};

// Appends the XML declaration (version="1.0") as the document's last top-level node.
HRESULT appendDeclaration(IXMLDOMDocument* doc) noexcept;
// True when the document's first top-level node is a processing instruction.
bool startsWithProcessingInstruction(IXMLDOMDocument* doc) noexcept;
// The document element, or E_FAIL when there is none; and making an element it.
HRESULT documentElement(IXMLDOMDocument* doc, IXMLDOMNode** out) noexcept;
HRESULT setDocumentElement(IXMLDOMDocument* doc, IXMLDOMElement* element) noexcept;

// A new, unattached element (the document's createElement, used for roots).
HRESULT createElement(IXMLDOMDocument* doc, BSTR name, IXMLDOMElement** out) noexcept;
// A new, unattached element made through createNode, as element creation does.
HRESULT createElementNode(IXMLDOMDocument* doc, BSTR name, IXMLDOMNode** out) noexcept;
// A new, unattached attribute node.
HRESULT createAttribute(IXMLDOMDocument* doc, BSTR name, IXMLDOMAttribute** out) noexcept;

// Appends child as parent's last child, moving it from its old place. E_FAIL when
// parent is child itself or one of child's descendants.
HRESULT appendChild(IXMLDOMNode* parent, IXMLDOMNode* child) noexcept;

// The first node that query selects below context; E_FAIL when none or when the
// query is not one the DOM can evaluate.
HRESULT selectSingleNode(IXMLDOMNode* context, BSTR query, IXMLDOMNode** out) noexcept;
// Every node that query selects below context (possibly none); E_FAIL when the query
// is not one the DOM can evaluate.
HRESULT selectNodes(IXMLDOMNode* context, BSTR query, IXMLDOMNodeList** out) noexcept;

// The node's COM identity, the form in which handles leave the store (one reference).
HRESULT identity(IUnknown* node, IUnknown** out) noexcept;

// A client's handle seen as the DOM interface an operation needs; E_INVALIDARG when
// the handle is null or does not answer for it.
HRESULT asNode(IUnknown* handle, IXMLDOMNode** out) noexcept;
HRESULT asElement(IUnknown* handle, IXMLDOMElement** out) noexcept;
HRESULT asNodeList(IUnknown* handle, IXMLDOMNodeList** out) noexcept;

// A handle that a change goes through: as asNode and asElement, and E_INVALIDARG too
// when the node does not belong to doc (doc itself, or a node whose owner document doc
// is). A node of another store's document, of a plain DOMDocument or of a document
// whose every other user is gone belongs elsewhere.
HRESULT asOwnNode(IXMLDOMDocument* doc, IUnknown* handle, IXMLDOMNode** out) noexcept;
HRESULT asOwnElement(IXMLDOMDocument* doc, IUnknown* handle, IXMLDOMElement** out) noexcept;

// True when the node is an element (not text, a comment, an instruction, an attribute
// or the document).
bool isElement(IXMLDOMNode* node) noexcept;
// True when the node stands in a parent: false for a new or a removed node.
bool hasParent(IXMLDOMNode* node) noexcept;

// The node's name (the tag name of an element), a new string.
HRESULT nodeName(IXMLDOMNode* node, framework::Bstr& name) noexcept;

// Structure. Each answers E_FAIL when there is no such node or the DOM refuses.
HRESULT parentNode(IXMLDOMNode* node, IXMLDOMNode** out) noexcept;
HRESULT firstChild(IXMLDOMNode* node, IXMLDOMNode** out) noexcept;
HRESULT nextSibling(IXMLDOMNode* node, IXMLDOMNode** out) noexcept;
HRESULT removeChild(IXMLDOMNode* parent, IXMLDOMNode* child) noexcept;

// Attributes. getAttributeNode answers E_FAIL when the element has none of that name;
// putNodeValue hands the DOM a bitwise copy of value and never clears it.
HRESULT getAttributeNode(IXMLDOMElement* element, BSTR name, IXMLDOMAttribute** out) noexcept;
HRESULT setAttributeNode(IXMLDOMElement* element, IXMLDOMAttribute* attribute) noexcept;
HRESULT putNodeValue(IXMLDOMNode* node, const VARIANT& value) noexcept;
HRESULT getNodeValue(IXMLDOMNode* node, VARIANT* value) noexcept;

// Node lists, which hold their own position. nextNode answers E_FAIL after the last
// node; resetList passes the list's own answer on. yieldsNode is true when the list
// yields a first node (and leaves it at its start): Wine's msxml3 counts the nodes of
// a namespace axis in the length and then yields none of them.
bool yieldsNode(IXMLDOMNodeList* list) noexcept;
HRESULT nextNode(IXMLDOMNodeList* list, IXMLDOMNode** out) noexcept;
HRESULT resetList(IXMLDOMNodeList* list) noexcept;

} // namespace dom
