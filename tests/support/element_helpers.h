// Helpers for the tests of the element operations: building small trees through the
// store's own interface, reading them back, and handles that are no DOM node.
#pragma once

#include "tarnwick_test.h"

#include <string>

namespace tarnwick_test {

// A new element with the given identifier, attached under parent (null: the root).
ComPtr<IUnknown> addChild(ITarnwick* store, IUnknown* parent, const wchar_t* id);

// Appends a text node to an element through the store's document, bypassing the store.
void appendText(ITarnwick* store, IUnknown* element, const wchar_t* content);

// Sets an attribute through the store; value stays the caller's.
HRESULT setAttribute(ITarnwick* store, IUnknown* element, const wchar_t* name, Variant value);

// The text of an attribute as the store reads it, or "(absent)" when getAttribute fails.
std::wstring attributeText(ITarnwick* store, IUnknown* element, const wchar_t* name);

// A COM object that is no DOM node, node list or element.
ComPtr<IUnknown> foreignObject();

// Saves the store to a file of the current test and loads that file into a new store:
// the result of that Load (S_OK when what the store saves is well-formed).
HRESULT loadsBack(ITarnwick* store);

// Number of times needle occurs in text.
size_t occurrences(const std::wstring& text, const std::wstring& needle);

} // namespace tarnwick_test
