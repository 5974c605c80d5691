' Leaves a mark beside itself, so that a test sees that the script host ran it.
Set fso = CreateObject("Scripting.FileSystemObject")
fso.CreateTextFile(fso.GetParentFolderName(WScript.ScriptFullName) & "\ran.txt").Close
