' The product's uninstall script. brisco-install.exe /remove runs it, once the user has confirmed,
' as   wscript.exe "<product folder>\Uninstall.vbs" /uninstall
' It removes what the loader host installed into the user's profile: for each product folder
' under %LOCALAPPDATA%\Brisco that holds the file list fetchwell-files.txt, the files the list
' names, then the folders that this leaves empty, then the list, then the product folder when
' nothing else is left in it. Nothing else is touched: a list entry that is not a plain relative
' name inside its folder (as the loader host writes them) is skipped. When a listed file cannot be
' removed (in use, say), the list stays, so that a later removal finds the rest.
' Started without "/uninstall" (opened by hand, say) it removes nothing and says so.
' Exit codes: 0 removed, 1 not started with /uninstall, 2 something listed is still there.
'
' Kept to what every Windows Script Host since Windows XP runs, and Wine's as well (no AscW, no
' ReDim Preserve, no attributes of folders).
Option Explicit

Const kListName = "fetchwell-files.txt"
Const kVendorFolder = "Brisco"
Const kCaption = "Orvane PC Brisco"
Const kLocalAppDataFolder = &H1C  ' CSIDL_LOCAL_APPDATA, as the loader host finds the folder
Const kForReading = 1

Dim fso
Set fso = CreateObject("Scripting.FileSystemObject")
WScript.Quit Main()

Function Main()
    If WScript.Arguments.Count <> 1 Then
        Main = Refuse()
        Exit Function
    End If
    If LCase(WScript.Arguments(0)) <> "/uninstall" Then
        Main = Refuse()
        Exit Function
    End If
    Dim base
    base = LocalAppData()
    If base = "" Then
        Main = 2
        Exit Function
    End If
    Main = RemoveProducts(fso.BuildPath(base, kVendorFolder))
End Function

Function Refuse()
    MsgBox "This script removes " & kCaption & " when you start the removal from its " & _
           "uninstall shortcut. Started on its own, it has removed nothing.", _
           vbOKOnly Or vbInformation, kCaption
    Refuse = 1
End Function

' The user's local application data folder, as the shell names it (the loader host asks the same
' question); the environment's LOCALAPPDATA when the shell gives no answer. "" when neither does.
Function LocalAppData()
    Dim path
    path = ""
    On Error Resume Next
    path = CreateObject("Shell.Application").NameSpace(kLocalAppDataFolder).Self.Path
    On Error GoTo 0
    If path = "" Then
        path = CreateObject("WScript.Shell").ExpandEnvironmentStrings("%LOCALAPPDATA%")
        If InStr(path, "%") > 0 Then path = ""
    End If
    LocalAppData = path
End Function

' Every product folder of the vendor folder that holds a file list; 0 when all of them are gone,
' 2 when something listed stayed.
Function RemoveProducts(vendor)
    RemoveProducts = 0
    If Not fso.FolderExists(vendor) Then Exit Function
    ' The folders are taken first: removing one while the collection is walked would change it.
    Dim products, product
    Set products = CreateObject("Scripting.Dictionary")
    For Each product In fso.GetFolder(vendor).SubFolders
        If fso.FileExists(fso.BuildPath(product.Path, kListName)) Then products.Add product.Path, 0
    Next
    For Each product In products.Keys
        If Not RemoveProduct(product) Then RemoveProducts = 2
    Next
End Function

' One product folder: the listed files, the folders left empty, the list, the folder. True when
' every file the list names is gone (then the list is removed too).
Function RemoveProduct(folder)
    Dim listPath, text, lines, line, name, tabAt, parents, parent, allGone
    listPath = fso.BuildPath(folder, kListName)
    If Not ReadList(listPath, text) Then
        RemoveProduct = False
        Exit Function
    End If
    allGone = True
    Set parents = CreateObject("Scripting.Dictionary")
    lines = Split(text, vbLf)
    For Each line In lines
        line = Replace(line, vbCr, "")
        tabAt = InStr(line, vbTab)
        name = line
        If tabAt > 0 Then name = Left(line, tabAt - 1)
        If IsInstalledName(name) Then
            If Not RemoveFile(folder & "\" & name) Then allGone = False
            parent = ParentOf(name)
            Do While parent <> ""
                If Not parents.Exists(parent) Then parents.Add parent, Depth(parent)
                parent = ParentOf(parent)
            Loop
        End If
    Next
    RemoveEmptyFolders folder, parents
    If allGone Then allGone = RemoveFile(listPath)
    If allGone Then RemoveIfEmpty folder
    RemoveProduct = allGone
End Function

' The list's text into text; False when it cannot be read. An empty list is an empty text (reading
' an empty file to its end is an error of its own).
Function ReadList(path, text)
    Dim stream
    text = ""
    ReadList = False
    On Error Resume Next
    If fso.GetFile(path).Size > 0 Then
        Set stream = fso.OpenTextFile(path, kForReading, False, 0)
        If Err.Number = 0 Then
            text = stream.ReadAll
            stream.Close
        End If
    End If
    ReadList = (Err.Number = 0)
    On Error GoTo 0
End Function

' Whether name is what the loader host writes into its list: a relative path of components
' separated by "\", each made of letters, digits, ".", "-" and "_", not starting or ending with a
' dot (so no "." or ".." and no empty component), no device name, and not the list itself. This
' refuses absolute paths, drive letters, "..", and the wildcards that DeleteFile would expand.
Function IsInstalledName(name)
    Dim component, pattern
    IsInstalledName = False
    If name = "" Or LCase(name) = kListName Then Exit Function
    Set pattern = New RegExp
    pattern.Pattern = "^[A-Za-z0-9_-]([A-Za-z0-9._-]*[A-Za-z0-9_-])?$"
    For Each component In Split(name, "\")
        If Not pattern.Test(component) Then Exit Function
        If IsDeviceName(component) Then Exit Function
    Next
    IsInstalledName = True
End Function

' CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, with or without an extension.
Function IsDeviceName(component)
    Dim stem, device
    stem = UCase(component)
    If InStr(stem, ".") > 0 Then stem = Left(stem, InStr(stem, ".") - 1)
    Set device = New RegExp
    device.Pattern = "^(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9])$"
    IsDeviceName = device.Test(stem)
End Function

' Removes the file when it is there (read-only or not); True when it is gone.
Function RemoveFile(path)
    If fso.FileExists(path) Then
        On Error Resume Next
        fso.DeleteFile path, True
        On Error GoTo 0
    End If
    RemoveFile = Not fso.FileExists(path)
End Function

' The folders that the list's names lead through, deepest first, each removed when nothing is
' left in it; a folder that holds anything else stays.
Sub RemoveEmptyFolders(folder, parents)
    Dim deepest, level, relative
    deepest = 0
    For Each relative In parents.Keys
        If parents(relative) > deepest Then deepest = parents(relative)
    Next
    For level = deepest To 1 Step -1
        For Each relative In parents.Keys
            If parents(relative) = level Then RemoveIfEmpty folder & "\" & relative
        Next
    Next
End Sub

Sub RemoveIfEmpty(path)
    Dim folder
    If Not fso.FolderExists(path) Then Exit Sub
    Set folder = fso.GetFolder(path)
    If folder.Files.Count > 0 Or folder.SubFolders.Count > 0 Then Exit Sub
    On Error Resume Next
    fso.DeleteFolder path, False
    On Error GoTo 0
End Sub

' "a\b\c.txt" -> "a\b"; "c.txt" -> "".
Function ParentOf(relative)
    Dim at
    at = InStrRev(relative, "\")
    ParentOf = ""
    If at > 0 Then ParentOf = Left(relative, at - 1)
End Function

' Number of components: "a" -> 1, "a\b" -> 2.
Function Depth(relative)
    Depth = UBound(Split(relative, "\")) + 1
End Function
