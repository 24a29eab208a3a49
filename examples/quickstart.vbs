' Tarnwick from VBScript: build a small store, save it, load it into a second store,
' enumerate it and print the file. Usage: cscript //nologo quickstart.vbs <file.xml>
Option Explicit

Dim file
If WScript.Arguments.Count > 0 Then file = WScript.Arguments(0) Else file = "quickstart.xml"

' Create the store by its ProgID; the registry leads COM to Tarnwick.dll.
Dim store
Set store = CreateObject("Orvane.Fenwright.Tarnwick")

' createElement writes the new element's handle into its second argument. An empty
' identifier asks for a generated one, written back into the variable.
Dim id, customer, order, line
id = "customer"
store.createElement id, customer
store.addElement Nothing, customer               ' Nothing: under the root
store.setAttribute customer, "name", "Ada Lovelace"
store.setAttribute customer, "vip", True

id = "order"
store.createElement id, order
store.addElement customer, order
store.setAttribute order, "total", 129.5
store.setAttribute order, "items", 3

id = ""
store.createElement id, line
store.addElement order, line
store.setAttribute line, "sku", "TW-42"
WScript.Echo "generated identifier: " & id

' Scripts reach IDispatch only, not IPersistFile: save through the store's document,
' which every handle knows as its ownerDocument.
Dim root
Set root = store.getRootElement()
root.ownerDocument.save CStr(file)   ' the DOM wants the path by value
WScript.Echo "saved " & file

' A second store reads the file the same way; its top element is the context below.
Dim second, doc, top
Set second = CreateObject("Orvane.Fenwright.Tarnwick.1")
Set doc = second.getRootElement().ownerDocument
If Not doc.load(CStr(file)) Then
    WScript.Echo "cannot load " & file
    WScript.Quit 1
End If
Set top = doc.documentElement

' Enumerate every element below the top one; getNextElement fails at the end.
Dim enumeration, elementId, handle
Set enumeration = second.enumElements(top, ".//*")
WScript.Echo "elements in the loaded store:"
On Error Resume Next
Do
    second.getNextElement enumeration, elementId, handle
    If Err.Number <> 0 Then Exit Do
    WScript.Echo "  " & elementId
Loop
Err.Clear
On Error GoTo 0

Dim found
Set found = second.getElement(top, "order")
WScript.Echo "order total read back as text: " & second.getAttribute(found, "total")

WScript.Echo "the saved file:"
Dim fso
Set fso = CreateObject("Scripting.FileSystemObject")
WScript.Echo fso.OpenTextFile(file).ReadAll()
