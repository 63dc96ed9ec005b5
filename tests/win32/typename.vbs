' A script client: it creates the plug-in by its ProgID and names it by the type information of
' its default interface. The script host swallows runtime errors and exits 0, so the script
' reports a failure itself, in what it prints and in its exit status.
On Error Resume Next
Set plugin = CreateObject("murl.clsMurl")
If Err.Number <> 0 Then
    WScript.Echo "cannot create murl.clsMurl: error " & Err.Number
    WScript.Quit 2
End If
WScript.Echo TypeName(plugin)
WScript.Quit 0
