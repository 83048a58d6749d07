#!/usr/bin/env bash
# PID 1 of one cluster node of scripts/cluster-test.sh, started in the node's own network, mount,
# PID and UTS namespaces: the node's own /run, /dev/shm, Pacemaker and corosync state and /var/log
# (folders of the test), the fence agent in /usr/sbin of this mount namespace only, then corosync
# and Pacemaker without systemd. When the node loses its power, this process is killed and with it
# everything of the node.
# Usage: node-init.sh N WORK
set -euo pipefail
node=$1
work=$2
dir=$work/node$node

hostname "node$node"
mount -t tmpfs -o mode=0755 tmpfs /run
mkdir -p /run/lock /run/crm
chown hacluster:haclient /run/crm
# libqb's shared memory is named after process ids, which every node's PID namespace repeats.
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount --bind "$dir/pacemaker" /var/lib/pacemaker
mount --bind "$dir/corosync" /var/lib/corosync
mount --bind "$dir/log" /var/log
mount -t overlay overlay -o "lowerdir=$work/agent:/usr/sbin" /usr/sbin

corosync -f -c "$dir/corosync.conf" >>"$dir/log/corosync.out" 2>&1 &
for _ in $(seq 100); do corosync-cfgtool -s >/dev/null 2>&1 && break; sleep 0.1; done
PCMK_logfile=/var/log/pacemaker.log pacemakerd -f >>"$dir/log/pacemaker.out" 2>&1 &
# As PID 1, it stays to reap the node's orphans.
wait
