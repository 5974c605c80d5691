' A script for the signature gate's tests: it stands in for the uninstall script.
Option Explicit
WScript.Quit 0
