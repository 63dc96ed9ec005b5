' A script client: it names the object by the type information of its default interface.
Set plugin = CreateObject("murl.clsMurl")
WScript.Echo TypeName(plugin)
