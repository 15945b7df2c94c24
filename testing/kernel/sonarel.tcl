# Sonarel against the real drivers of the kernel stage's amd64 guest: the
# OSS mixer of the dummy sound card and qemu's two ATAPI drives, /dev/sr0
# with a data disc and /dev/sr1 empty.
#   tclsh8.6 sonarel.tcl LIBSONAREL
# Prints "ok NAME" or "FAIL NAME: ..." per check and "result WORDS -> TEXT"
# for what the drivers answered; the exit status is the count of failures.

set failures 0

proc check {name got expected} {
    if {$got eq $expected} {
        puts "ok $name"
    } else {
        puts "FAIL $name: got {$got}, expected {$expected}"
        incr ::failures
    }
}

proc check_match {name got pattern} {
    if {[regexp -- $pattern $got]} {
        puts "ok $name"
    } else {
        puts "FAIL $name: got {$got}, expected the form $pattern"
        incr ::failures
    }
}

# The mixer's value as the kernel stores it; with a value, stored first.
proc mixer {args} {
    return [exec /bin/mixer-value {*}$args]
}

proc outcome {script} {
    set code [catch {uplevel 1 $script} result]
    list $code $result
}

if {[catch {load [lindex $argv 0] Sonarel} message]} {
    puts "FAIL load: $message"
    exit 1
}

set usage {Usage: volume [-r volume] [-l volume] master_volume}

# The report: the right byte as a percentage.
foreach {right report} {95 100 5 0 50 50 0 -5 100 105} {
    mixer [format 0x%02x%02x $right 17]
    check "volume reports right level $right as $report" [outcome {volume}] [list 0 $report]
}

# Settings, from left 0x11 and right 0x22: the result, then the mixer.
foreach {words result value} [list \
    {50} {0 {}} 0x00003232 \
    {50%} {0 {}} 0x00003232 \
    {100%} {0 {}} 0x00005f5f \
    {0} {0 {}} 0x00000505 \
    {0%} {0 {}} 0x00000505 \
    {1%} {0 {}} 0x00000505 \
    {3} {0 {}} 0x00000505 \
    {96} {0 {}} 0x00005f5f \
    {200%} {0 {}} 0x00005f5f \
    {256} {1 {Bad volume setting: 256}} 0x00002211 \
    {300} {0 {}} 0x00002c2c \
    {-r -5} {0 {}} 0x00005f11 \
    {abc} {1 {Bad volume setting: abc}} 0x00002211 \
    {abc%} {1 {Bad volume setting: abc}} 0x00002211 \
    {00} {1 {Bad volume setting: 00}} 0x00002211 \
    {{}} {1 {Bad volume setting: }} 0x00002211 \
    {-r 30 -l 70} {0 {}} 0x00001e46 \
    {-r 30 60} {0 {}} 0x00003c3c \
    {50 -r 30} {0 {}} 0x00003232 \
    {10 20} [list 1 $usage] 0x00002211 \
    {-h} [list 1 $usage] 0x00002211 \
    {-r} [list 1 $usage] 0x00002211 \
    {-r bad -l 50} {1 {Bad volume setting: bad}} 0x00002211 \
    {-r 40} {0 {}} 0x00002811 \
] {
    mixer 0x2211
    check "volume $words" [outcome {volume {*}$words}] $result
    check "volume $words leaves the mixer at $value" [mixer] $value
}

# The CD-ROM driver: the drive with a data disc (no audio tracks, so play
# fails with the driver's reason), then the empty drive.
set request {^(play|pause|stop|eject): ioctl cdrom[a-z]+: [A-Z][^:]*$}
proc cd {args} {
    set r [outcome {cdrom {*}$args}]
    puts "result cdrom $args -> $r"
    return $r
}
check "cdrom init /dev/sr0" [cd init /dev/sr0] {0 {}}
check "cdrom names /dev/sr0" [cd] {0 /dev/sr0}
foreach words {play {play 1}} {
    set r [cd {*}$words]
    check "cdrom $words fails" [lindex $r 0] 1
    check_match "cdrom $words gives the driver's reason" [lindex $r 1] $request
}
foreach words {pause stop} {
    set r [cd $words]
    if {[lindex $r 0] == 0} {
        check "cdrom $words" $r {0 {}}
    } else {
        check_match "cdrom $words gives the driver's reason" [lindex $r 1] $request
    }
}
check "cdrom eject opens the tray of /dev/sr0" [cd eject] {0 {}}
check "cdrom init /dev/sr1 opens the empty drive" [cd init /dev/sr1] {0 {}}
check "cdrom names /dev/sr1" [cd] {0 /dev/sr1}
set r [cd play]
check_match "cdrom play on the empty drive gives the driver's reason" [lindex $r 1] $request
check "cdrom eject on the empty drive" [cd eject] {0 {}}

exit $failures
