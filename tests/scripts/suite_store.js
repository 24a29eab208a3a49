// The element store from JScript, through IDispatch as the script host reaches it.
// Prints "ok <check>" or "FAIL <check>: <why>" for every check, then "end of suite",
// and exits with the number of failures. The only argument names a folder for the
// files the suite writes.
//
// JScript passes arguments by value, so it receives nothing that a method writes
// through a parameter other than its return value: it builds trees through the DOM
// document that every handle answers (handle.ownerDocument) and steps through an
// enumeration with the node list's own nextNode where it needs the nodes.

var E_POINTER = 0x80004003;
var E_FAIL = 0x80004005;
var E_INVALIDARG = 0x80070057;
var DISP_E_BADPARAMCOUNT = 0x8002000E;
var NOT_SUPPORTED = 0x800A01B6; // "Object doesn't support this property or method"

var failures = 0;

function hex(n) {
    return "0x" + (n >>> 0).toString(16).toUpperCase();
}

function pass(name) {
    WScript.Echo("ok " + name);
}

function fail(name, why) {
    failures++;
    WScript.Echo("FAIL " + name + ": " + why);
}

// "" when actual is expected, else what differs.
function expect(actual, expected) {
    return actual === expected ? "" : "got " + actual + " (" + typeof actual + "), expected " + expected;
}

// Runs body, which returns "" or what went wrong; a script error fails the check.
function check(name, body) {
    try {
        var why = body();
        if (why)
            fail(name, why);
        else
            pass(name);
    } catch (e) {
        fail(name, "error " + hex(e.number) + " " + e.message);
    }
}

// Passes when body raises a script error carrying the HRESULT code and, for a failure
// of the store's own (not one the dispatch layer raised), a description of it.
function raises(name, code, body) {
    try {
        body();
        fail(name, "no error, expected " + hex(code));
    } catch (e) {
        var fromStore = code === E_FAIL || code === E_POINTER || code === E_INVALIDARG;
        if ((e.number >>> 0) === code && fromStore && !e.description)
            fail(name, "error " + hex(code) + " without a description");
        else if ((e.number >>> 0) === code)
            pass(name);
        else
            fail(name, "error " + hex(e.number) + " " + e.message + ", expected " + hex(code));
    }
}

var folder = WScript.Arguments.Item(0);

// A store file as the DOM reads it: a separate document, so what is checked is the file.
function loadedFile(path) {
    var doc = new ActiveXObject("Msxml2.DOMDocument");
    doc.async = false;
    return doc.load(path) ? doc : null;
}

check("created by the version-dependent ProgID", function () {
    return expect(new ActiveXObject("Orvane.Fenwright.Tarnwick.1").getRootElement().nodeName, "root");
});
check("created by the version-independent ProgID", function () {
    return expect(new ActiveXObject("Orvane.Fenwright.Tarnwick").getRootElement().nodeName, "root");
});

var store = new ActiveXObject("Orvane.Fenwright.Tarnwick");
var root = store.getRootElement();

check("a handle is an object", function () {
    return expect(typeof root, "object") || expect(root != null, true) || expect(root.nodeName, "root");
});

// Building a tree: the element comes from the store's document, addElement attaches it.
var doc = root.ownerDocument;
var item = doc.createElement("item");
check("addElement with a null parent attaches under the root", function () {
    store.addElement(null, item);
    return expect(store.getElement(null, "item").nodeName, "item") || expect(item.parentNode.nodeName, "root");
});
check("queryElement(null, null) is the root's first element child", function () {
    return expect(store.queryElement(null, null).nodeName, "item");
});
var list = doc.createElement("list");
check("addElement under a parent", function () {
    store.addElement(null, list);
    var names = ["a", "b", "c"];
    for (var i = 0; i < names.length; i++)
        store.addElement(list, doc.createElement(names[i]));
    return expect(store.getElement(list, "b").nodeName, "b") || expect(store.getElement(null, "c").parentNode.nodeName, "list");
});
check("queryElement with a context and a query", function () {
    return expect(store.queryElement(list, "c").nodeName, "c") || expect(store.queryElement(null, "list/a").nodeName, "a");
});

// Attributes read back as text, whatever type they were given as.
var values = [["count", 42, "42"], ["ratio", 2.5, "2.5"], ["flag", true, "-1"], ["label", "text", "text"]];
for (var v = 0; v < values.length; v++) {
    (function (name, value, text) {
        check("attribute " + name + " given as a " + typeof value + " reads back as text", function () {
            store.setAttribute(item, name, value);
            var read = store.getAttribute(item, name);
            return expect(typeof read, "string") || expect(read, text);
        });
    })(values[v][0], values[v][1], values[v][2]);
}
raises("getAttribute of a missing attribute fails with E_FAIL", E_FAIL, function () {
    store.getAttribute(item, "missing");
});
raises("setAttribute on an enumeration handle fails with E_INVALIDARG", E_INVALIDARG, function () {
    store.setAttribute(store.enumElements(list, null), "name", 1);
});

// Enumeration: the handle is the DOM node list, which holds the position that
// getNextElement, resetEnum and the list's own nextNode share.
check("enumElements hands out a node list over the children", function () {
    var en = store.enumElements(list, null);
    return expect(typeof en, "object") || expect(en.length, 3);
});
check("getNextElement moves the enumeration on", function () {
    var en = store.enumElements(list, "*");
    store.getNextElement(en, null, null);
    return expect(en.nextNode().nodeName, "b");
});
// Wine's node list crashes when nextNode's result is not asked for: always take it.
check("resetEnum starts the enumeration again", function () {
    var en = store.enumElements(list, null);
    var first = en.nextNode();
    var second = en.nextNode();
    store.resetEnum(en);
    return expect(second.nodeName, "b") || expect(en.nextNode().nodeName, first.nodeName);
});
raises("getNextElement past the end fails with E_FAIL", E_FAIL, function () {
    var en = store.enumElements(list, null);
    for (var i = 0; i < 4; i++)
        store.getNextElement(en, null, null);
});
raises("enumElements over nothing fails with E_FAIL", E_FAIL, function () {
    store.enumElements(item, null);
});
raises("queryElement that selects nothing fails with E_FAIL", E_FAIL, function () {
    store.queryElement(list, "missing");
});
raises("resetEnum of an element handle fails with E_INVALIDARG", E_INVALIDARG, function () {
    store.resetEnum(item);
});

// What JScript cannot receive: results written through parameters.
raises("createElement needs its two arguments", DISP_E_BADPARAMCOUNT, function () {
    store.createElement("made");
});
check("createElement with a name makes an element that nobody receives", function () {
    return expect(store.createElement("made", null), undefined);
});
check("getElement with a bad identifier says which", function () {
    try {
        store.getElement(null, "1x");
        return "no error";
    } catch (e) {
        return expect(e.description.indexOf("'1x'") >= 0 && e.message === e.description, true);
    }
});
raises("createElement with a name that is no XML name fails with E_FAIL", E_FAIL, function () {
    store.createElement("1 bad", null);
});
check("getElementID writes nothing JScript can read; nodeName gives the identifier", function () {
    return expect(store.getElementID(item, ""), undefined) || expect(item.nodeName, "item");
});
raises("getElementID with a null pointer fails with E_POINTER", E_POINTER, function () {
    store.getElementID(item, null);
});
check("setElementID is accepted and changes nothing", function () {
    store.setElementID(item, "renamed");
    return expect(item.nodeName, "item");
});

// Persistence: a script reaches only ITarnwick through IDispatch, not IPersistFile.
// The document behind every handle saves and loads.
raises("IPersistFile's Save is not reachable", NOT_SUPPORTED, function () {
    store.Save(folder + "\\unreachable.xml", true);
});
var saved = folder + "\\saved.xml";
check("the document reached from a handle saves the store", function () {
    item.ownerDocument.save(saved);
    var file = loadedFile(saved);
    return expect(file != null, true) || expect(file.selectSingleNode("/root/item").getAttribute("count"), "42");
});
check("the document of a new store loads the file", function () {
    var other = new ActiveXObject("Orvane.Fenwright.Tarnwick");
    // Taken before the load: the handles of the replaced root belong to it no more.
    var otherDoc = other.getRootElement().ownerDocument;
    if (!otherDoc.load(saved))
        return "load failed";
    var found = other.queryElement(otherDoc.documentElement, "list/c");
    return expect(found.nodeName, "c") || expect(other.getAttribute(other.queryElement(otherDoc.documentElement, "item"), "label"), "text");
});

// Debug mode rewrites the named file after every change.
var debugFile = folder + "\\debug.xml";
check("setDebugMode writes the file after a change", function () {
    store.setDebugMode(1, debugFile);
    store.setAttribute(item, "debug", "on");
    var file = loadedFile(debugFile);
    return expect(file != null, true) || expect(file.selectSingleNode("/root/item").getAttribute("debug"), "on");
});
check("setDebugMode off stops the writing", function () {
    store.setDebugMode(0, null);
    store.setAttribute(item, "debug", "off");
    return expect(loadedFile(debugFile).selectSingleNode("/root/item").getAttribute("debug"), "on");
});
check("setNotify is accepted both ways", function () {
    store.setNotify(0);
    store.setNotify(1);
    return "";
});
// The class offers no IProvideClassInfo and its event interface is no dispinterface, and
// Wine's host does not implement ConnectObject at all: events are for early-bound clients.
check("events cannot reach a script", function () {
    try {
        WScript.ConnectObject(store, "store_");
    } catch (e) {
        return "";
    }
    return "ConnectObject succeeded";
});

check("deleteElement removes the element with its subtree", function () {
    store.deleteElement(list);
    try {
        store.getElement(null, "b");
        return "b is still found";
    } catch (e) {
        return expect(e.number >>> 0, E_FAIL);
    }
});
raises("deleteElement of a detached element fails with E_FAIL", E_FAIL, function () {
    store.deleteElement(list);
});
raises("addElement of nothing fails with E_INVALIDARG", E_INVALIDARG, function () {
    store.addElement(null, null);
});

check("createRootElement empties the store and roots it at the given name", function () {
    store.createRootElement("top", null);
    return expect(store.getRootElement().nodeName, "top") || expect(store.getRootElement().ownerDocument.documentElement.childNodes.length, 0);
});
check("createRootElement with a null name roots the store at \"root\"", function () {
    store.createRootElement(null, null);
    return expect(store.getRootElement().nodeName, "root");
});
raises("createRootElement with a name that is no XML name fails with E_FAIL", E_FAIL, function () {
    store.createRootElement("1 bad", null);
});
check("clear empties the store; the next use builds the root again", function () {
    store.addElement(null, store.getRootElement().ownerDocument.createElement("gone"));
    store.clear();
    return expect(store.getRootElement().nodeName, "root") || expect(store.getRootElement().childNodes.length, 0);
});

WScript.Echo("end of suite");
WScript.Quit(failures);
