// The scripted server is built into the shared test support library (tests/support). This
// file stays, empty, for the builds that still list it among their sources.
