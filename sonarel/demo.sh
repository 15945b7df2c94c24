# Sonarel's part of the demo: the volume and cdrom commands in tclsh, against
# the test suite's simulated mixer and CD-ROM drive.
set -eu
build=$2 work=$3
lib="$build/lib"
[ -f "$lib/sonarel/pkgIndex.tcl" ] && [ -f "$lib/libdevsim.so" ] || exit 0
command -v tclsh >/dev/null 2>&1 || exit 0
printf '\n== Sonarel: tclsh sets the mixer volume and plays a CD (simulated mixer and drive; requests shown as sent)\n'
cat > "$work/session.tcl" <<'TCL'
lappend auto_path [lindex $argv 0]
set log [lindex $argv 1]
proc show {script} {
    close [open $::log w]
    set code [catch {uplevel #0 $script} result]
    puts "% $script"
    if {$result ne ""} {
        puts [expr {$code ? "error: $result" : $result}]
    }
    set f [open $::log]
    foreach line [split [string trimright [read $f] \n] \n] {
        if {$line ne ""} {
            puts "    -> $line"
        }
    }
    close $f
}
show {package require Sonarel}
show {volume}
show {volume -r 60% -l 30%}
show {volume}
show {volume loud}
show {cdrom play}
show {cdrom init}
show {cdrom play 2 4}
show {cdrom pause}
show {cdrom play}
show {cdrom eject}
show {cdrom play}
TCL
DEVSIM_MIXER=0x00004b4b DEVSIM_CDROM=/dev/cdrom DEVSIM_TRACKS=1-9 DEVSIM_LOG="$work/requests.log" \
    LD_PRELOAD="$lib/libdevsim.so" tclsh "$work/session.tcl" "$lib" "$work/requests.log"
