# Sourced by scripts/tango-demo and scripts/bench, after common.sh: a Tango database on
# this machine, MariaDB and DataBaseds started without systemd, at TANGO_HOST.

export TANGO_HOST=127.0.0.1:10000
tango_started_mariadb=false
tango_started_database=false

# Installs what is missing and starts what is not running; waits until the database answers.
start_tango_database() {
    # tango-db's configuration asks for a running database server, so MariaDB comes first.
    need_packages mariadb-server
    if ! service mariadb status >/dev/null 2>&1; then
        service mariadb start >/dev/null
        tango_started_mariadb=true
    fi
    # The service can return before the server takes connections, and a DataBaseds started
    # without one ends at once.
    for _ in $(seq 60); do
        mysqladmin ping >/dev/null 2>&1 && break
        sleep 0.5
    done
    need_packages tango-db
    if ! tango_admin --ping-database 1 >/dev/null 2>&1; then
        service tango-db start >/dev/null
        tango_started_database=true
    fi
    tango_admin --ping-database 30
}

# Stops what start_tango_database started, and nothing else.
stop_tango_database() {
    if $tango_started_database; then service tango-db stop >/dev/null 2>&1 || true; fi
    if $tango_started_mariadb; then service mariadb stop >/dev/null 2>&1 || true; fi
}
