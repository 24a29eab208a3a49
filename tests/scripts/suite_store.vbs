' The element store from VBScript, through IDispatch as the script host reaches it.
' Prints "ok <check>" or "FAIL <check>: <why>" for every check, then "end of suite",
' and exits with the number of failures. The only argument names a folder for the
' files the suite writes.
'
' VBScript passes variables by reference, so it receives what every method writes:
' identifiers and handles come back in the variables given for them. Errors are
' looked at with On Error Resume Next: a method's failure is its HRESULT in Err.Number,
' with the store's description of it in Err.Description. A statement that
' raises is skipped whole, so every value a check looks at is worked out in a statement
' of its own before the check, and the suite counts its checks.

Option Explicit

Const E_POINTER = &H80004003
Const E_FAIL = &H80004005
Const INVALID_ARGUMENT = &H80070057 ' E_INVALIDARG
Const NOT_SUPPORTED = 438 ' "Object doesn't support this property or method"
Const EXPECTED_CHECKS = 68

Dim failures, checks
failures = 0
checks = 0

Sub Pass(name)
    checks = checks + 1
    WScript.Echo "ok " & name
End Sub

Sub Fail(name, why)
    checks = checks + 1
    failures = failures + 1
    WScript.Echo "FAIL " & name & ": " & why
End Sub

' Passes when the statements since the last check raised no error and condition holds.
Sub Check(name, condition)
    If Err.Number <> 0 Then
        Fail name, "error &H" & Hex(Err.Number) & " " & Err.Description
    ElseIf condition Then
        Pass name
    Else
        Fail name, "the condition does not hold"
    End If
    Err.Clear
End Sub

' Passes when the statements since the last check raised no error and actual is expected.
Sub CheckEqual(name, actual, expected)
    If Err.Number <> 0 Then
        Fail name, "error &H" & Hex(Err.Number) & " " & Err.Description
    ElseIf actual = expected Then
        Pass name
    Else
        Fail name, "got " & actual & ", expected " & expected
    End If
    Err.Clear
End Sub

' Passes when the statements since the last check raised the error code.
Sub CheckError(name, code)
    If Err.Number = code And Err.Description = "" Then
        Fail name, "error &H" & Hex(code) & " without a description"
    ElseIf Err.Number = code Then
        Pass name
    ElseIf Err.Number = 0 Then
        Fail name, "no error, expected &H" & Hex(code)
    Else
        Fail name, "error &H" & Hex(Err.Number) & " " & Err.Description & ", expected &H" & Hex(code)
    End If
    Err.Clear
End Sub

' The value of an attribute of the first element at path in a file as the DOM reads it
' into a separate document, so that what is checked is the file. Wine's VBScript
' CreateObject refuses the DOM's class, the host's does not.
Function AttributeInFile(file, path, name)
    Dim doc
    Set doc = WScript.CreateObject("Msxml2.DOMDocument")
    doc.async = False
    If doc.load(CStr(file)) Then
        AttributeInFile = doc.selectSingleNode(path).getAttribute(name)
    Else
        AttributeInFile = "(no file)"
    End If
End Function

Dim folder
folder = WScript.Arguments.Item(0)

On Error Resume Next

Dim store, root, actual
Set store = CreateObject("Orvane.Fenwright.Tarnwick.1")
actual = store.getRootElement().nodeName
CheckEqual "created by the version-dependent ProgID", actual, "root"
Set store = CreateObject("Orvane.Fenwright.Tarnwick")
actual = store.getRootElement().nodeName
CheckEqual "created by the version-independent ProgID", actual, "root"

Set root = store.getRootElement()
Check "a handle is an object", IsObject(root)
actual = root Is Nothing
CheckEqual "a handle is not Nothing", actual, False

' createElement writes a generated identifier into an empty variable, leaves a given
' one as it was, and writes the handle into the second variable.
Dim id, handle
id = ""
store.createElement id, handle
Check "createElement writes the generated identifier back", Len(id) = 38 And Left(id, 2) = "ID"
Check "createElement writes the handle back", IsObject(handle)
actual = handle.nodeName
CheckEqual "the handle's name is the identifier", actual, id

Dim itemId, item
itemId = "item"
store.createElement itemId, item
CheckEqual "createElement keeps a given identifier", itemId, "item"
actual = item.nodeName
CheckEqual "createElement's handle has the given name", actual, "item"

store.addElement Nothing, item
actual = store.getElement(Nothing, "item").nodeName
CheckEqual "addElement with Nothing attaches under the root", actual, "item"

Dim created
Set created = root
store.createElement "made", created
actual = created.nodeName
CheckEqual "a variable that held an object receives the new handle", actual, "made"

Dim gotId
store.getElementID item, gotId
CheckEqual "getElementID writes the identifier back", gotId, "item"

' A list with three children, built by name.
Dim listId, list, childId, child, name
listId = "list"
store.createElement listId, list
store.addElement Nothing, list
For Each name In Array("a", "b", "c")
    childId = name
    store.createElement childId, child
    store.addElement list, child
Next
actual = store.getElement(list, "b").nodeName
CheckEqual "addElement under a parent", actual, "b"
actual = store.queryElement(list, "c").nodeName
CheckEqual "queryElement with a context and a query", actual, "c"
actual = store.queryElement(Nothing, Null).nodeName
CheckEqual "queryElement with Nothing and Null is the root's first element child", actual, "item"
Dim unset
actual = store.queryElement(unset, "list/a").nodeName
CheckEqual "queryElement with an Empty variable as context", actual, "a"

' Nothing, given as it is or in a variable, is none as Empty and Null are: the root for
' a context, a null string for an identifier or query, "not wanted" for a result. A
' handle that is Nothing is refused.
actual = store.enumElements(Nothing, Nothing).length
CheckEqual "enumElements with Nothing and Nothing covers the root's children", actual, 2
actual = store.getElement(Nothing, Nothing).nodeName
CheckEqual "getElement with Nothing and Nothing is the root's first element", actual, "item"
actual = store.queryElement(Nothing, Nothing).nodeName
CheckEqual "queryElement with Nothing and Nothing is the root's first element child", actual, "item"
Dim absent
Set absent = Nothing
actual = store.getElement(absent, absent).nodeName
CheckEqual "getElement with variables that hold Nothing", actual, "item"
Check "a variable that holds Nothing for an input still holds it", absent Is Nothing
Dim skipping, skippedId, skipped
Set skipping = store.enumElements(list, Nothing)
store.getNextElement skipping, Nothing, Nothing
store.getNextElement skipping, skippedId, skipped
CheckEqual "getNextElement with Nothing for both results moves on", skippedId, "b"
store.getElementID item, Nothing
CheckError "getElementID with Nothing for the identifier fails with E_POINTER", E_POINTER
Dim idIntoNothing
Set idIntoNothing = Nothing
store.getElementID item, idIntoNothing
CheckEqual "getElementID writes the identifier into a variable that held Nothing", idIntoNothing, "item"
store.deleteElement Nothing
CheckError "deleteElement of Nothing fails with E_INVALIDARG", INVALID_ARGUMENT
actual = store.getAttribute(Nothing, "count")
CheckError "getAttribute of Nothing fails with E_INVALIDARG", INVALID_ARGUMENT

' Attributes read back as text, whatever type they were given as.
Dim count
count = 42
store.setAttribute item, "count", count
store.setAttribute item, "literal", 7
store.setAttribute item, "ratio", 2.5
store.setAttribute item, "flag", True
store.setAttribute item, "label", "text"
Dim attribute
For Each attribute In Array(Array("count", "42", "an integer variable"), Array("literal", "7", "an integer literal"), _
                            Array("ratio", "2.5", "a double"), Array("flag", "-1", "a boolean"), _
                            Array("label", "text", "a string"))
    actual = Empty
    actual = store.getAttribute(item, attribute(0))
    CheckEqual attribute(2) & " reads back as the DOM's text for it", actual, attribute(1)
Next
actual = TypeName(store.getAttribute(item, "count"))
CheckEqual "getAttribute gives a string", actual, "String"

actual = store.getAttribute(item, "missing")
CheckError "getAttribute of a missing attribute fails with E_FAIL", E_FAIL
store.setAttribute store.enumElements(list, Null), "name", 1
CheckError "setAttribute on an enumeration handle fails with E_INVALIDARG", INVALID_ARGUMENT

' Enumeration: identifiers and handles come back in the variables, until E_FAIL at the end.
Dim en, nextId, nextHandle, names, matching
Set en = store.enumElements(list, Null)
names = ""
matching = True
Do
    store.getNextElement en, nextId, nextHandle
    If Err.Number <> 0 Then Exit Do
    names = names & nextId & " "
    matching = matching And (nextHandle.nodeName = nextId)
Loop
CheckError "getNextElement past the end fails with E_FAIL", E_FAIL
CheckEqual "getNextElement gives every child's identifier in order", names, "a b c "
Check "getNextElement gives each child's handle", matching
store.resetEnum en
store.getNextElement en, nextId, nextHandle
CheckEqual "resetEnum starts the enumeration again", nextId, "a"
Set en = store.enumElements(item, Null)
CheckError "enumElements over nothing fails with E_FAIL", E_FAIL
Set en = store.queryElement(list, "missing")
CheckError "queryElement that selects nothing fails with E_FAIL", E_FAIL
store.resetEnum item
CheckError "resetEnum of an element handle fails with E_INVALIDARG", INVALID_ARGUMENT

Dim badId
badId = "1 bad"
store.createElement badId, handle
CheckError "createElement with a name that is no XML name fails with E_FAIL", E_FAIL
Dim description, missing
Set missing = store.getElement(Null, "1x")
description = Err.Description
Err.Clear
CheckEqual "getElement with a bad identifier says which", InStr(description, "'1x'") > 0, True
store.getElementID item, Null
CheckError "getElementID with Null for the identifier fails with E_POINTER", E_POINTER
store.setElementID item, "renamed"
actual = item.nodeName
CheckEqual "setElementID is accepted and changes nothing", actual, "item"

' Persistence: a script reaches only ITarnwick through IDispatch, not IPersistFile.
' The document behind every handle saves and loads.
store.Save folder & "\unreachable.xml", True
CheckError "IPersistFile's Save is not reachable", NOT_SUPPORTED
Dim saved
saved = folder & "\saved.xml"
' Wine's DOM neither saves to nor loads from a variable passed by reference: paths go by value.
item.ownerDocument.save CStr(saved)
actual = AttributeInFile(saved, "/root/item", "count")
CheckEqual "the document reached from a handle saves the store", actual, "42"

Dim other, otherDoc
Set other = CreateObject("Orvane.Fenwright.Tarnwick")
' Taken before the load: the handles of the replaced root belong to it no more.
Set otherDoc = other.getRootElement().ownerDocument
actual = otherDoc.load(CStr(saved))
CheckEqual "the document of a new store loads the file", actual, True
actual = other.getAttribute(other.queryElement(otherDoc.documentElement, "item"), "label")
CheckEqual "the loaded elements answer the store", actual, "text"

' Debug mode rewrites the named file after every change.
Dim debugFile
debugFile = folder & "\debug.xml"
store.setDebugMode 1, debugFile
store.setAttribute item, "debug", "on"
actual = AttributeInFile(debugFile, "/root/item", "debug")
CheckEqual "setDebugMode writes the file after a change", actual, "on"
store.setDebugMode 0, ""
store.setAttribute item, "debug", "off"
actual = AttributeInFile(debugFile, "/root/item", "debug")
CheckEqual "setDebugMode off stops the writing", actual, "on"
store.setDebugMode 1, debugFile
store.setAttribute item, "debug", "again"
store.setDebugMode 0, Nothing
store.setAttribute item, "debug", "later"
actual = AttributeInFile(debugFile, "/root/item", "debug")
CheckEqual "setDebugMode off with Nothing for the file stops the writing", actual, "again"
store.setNotify 0
store.setNotify 1
Check "setNotify is accepted both ways", True

' The class offers no IProvideClassInfo and its event interface is no dispinterface, and
' Wine's host does not implement ConnectObject at all: events are for early-bound clients.
Dim connectError
WScript.ConnectObject store, "store_"
connectError = Err.Number
Err.Clear
Check "events cannot reach a script", connectError <> 0

store.deleteElement list
Set child = store.getElement(Nothing, "b")
CheckError "deleteElement removes the element with its subtree", E_FAIL
store.deleteElement list
CheckError "deleteElement of a detached element fails with E_FAIL", E_FAIL
store.addElement Nothing, Nothing
CheckError "addElement of Nothing fails with E_INVALIDARG", INVALID_ARGUMENT

' createRootElement writes the name used into an empty variable and the root's handle
' into the second one.
Dim rootName, newRoot
rootName = ""
store.createRootElement rootName, newRoot
CheckEqual "createRootElement writes the default name back", rootName, "root"
actual = newRoot.nodeName
CheckEqual "createRootElement writes the root's handle back", actual, "root"
actual = newRoot.ownerDocument.documentElement.childNodes.length
CheckEqual "createRootElement empties the store", actual, 0

Dim topName, topRoot
topName = "top"
store.createRootElement topName, topRoot
CheckEqual "createRootElement keeps a given name", topName, "top"
actual = store.getRootElement().nodeName
CheckEqual "createRootElement roots the store at the given name", actual, "top"

Dim emptyName, emptyRoot
store.createRootElement emptyName, emptyRoot
CheckEqual "createRootElement writes the default name into an Empty variable", emptyName, "root"

store.createRootElement topName, topRoot
store.createRootElement Nothing, Nothing
actual = store.getRootElement().nodeName
CheckEqual "createRootElement with Nothing for both roots the store at root", actual, "root"
Dim nothingName, nothingRoot
Set nothingName = Nothing
Set nothingRoot = Nothing
store.createRootElement topName, topRoot
store.createRootElement nothingName, nothingRoot
CheckEqual "createRootElement writes the default name into a variable that held Nothing", nothingName, "root"
actual = nothingRoot.nodeName
CheckEqual "createRootElement writes the root's handle into a variable that held Nothing", actual, "root"

Dim badName, badRoot
badName = "1 bad"
store.createRootElement badName, badRoot
CheckError "createRootElement with a name that is no XML name fails with E_FAIL", E_FAIL

Dim goneId, gone
goneId = "gone"
store.createElement goneId, gone
store.addElement Nothing, gone
store.clear
actual = store.getRootElement().childNodes.length
CheckEqual "clear empties the store; the next use builds the root again", actual, 0

If checks <> EXPECTED_CHECKS Then Fail "every check ran", checks & " of " & EXPECTED_CHECKS & " checks reported"
WScript.Echo "end of suite"
WScript.Quit failures
