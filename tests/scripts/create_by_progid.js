// Creates the store by the ProgID given as the only argument and asks it for its root
// element through late binding. The exit code tells how far it got:
// 0 done, 1 no ProgID given, 2 the object could not be created, 3 the call failed.
if (WScript.Arguments.length != 1)
    WScript.Quit(1);

var store;
try {
    store = new ActiveXObject(WScript.Arguments.Item(0));
} catch (e) {
    WScript.Quit(2);
}

try {
    store.getRootElement();
} catch (e) {
    WScript.Quit(3);
}
WScript.Quit(0);
