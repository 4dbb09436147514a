// The module contract header includes this; the types it needs are in windows.h here.
