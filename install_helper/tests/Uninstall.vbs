' Test copy of the product's uninstall script. The tests' stand-in script host only records how
' it was started and never runs it.
Option Explicit
WScript.Quit 0
