# wine-env.sh, sourced after WINEPREFIX is exported: the environment every Windows program of
# the build and the tests runs in under Wine. Wine's own messages are off, Mono and Gecko are
# not offered, and Wine's menu builder is off: it mirrors Start-menu shortcuts into the Linux
# account, outside the prefix, from a process of its own that outlives the program.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
