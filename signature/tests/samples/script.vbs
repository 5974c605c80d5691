' A stand-in script: signed with a text block, it stays a script that runs.
Option Explicit
WScript.Quit 0
