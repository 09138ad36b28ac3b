-- The DoruzorO ranking's database and the one role its instances log in as.
-- Run once as PostgreSQL's superuser:
--   sudo -u postgres psql -v password="$(openssl rand -base64 24)" -f postgresql-setup.sql
-- and put the same password in /etc/doruzoro/server.env (PGPASSWORD).
-- The role owns nothing but what the server creates in its own schema: it
-- cannot create roles or databases, nor reach other databases' objects.

\set ON_ERROR_STOP on

CREATE ROLE doruzoro LOGIN PASSWORD :'password'
    NOSUPERUSER NOCREATEDB NOCREATEROLE NOINHERIT NOREPLICATION NOBYPASSRLS
    CONNECTION LIMIT 200;
CREATE DATABASE doruzoro OWNER postgres ENCODING 'UTF8' TEMPLATE template0;
REVOKE ALL ON DATABASE doruzoro FROM PUBLIC;
GRANT CONNECT, TEMPORARY ON DATABASE doruzoro TO doruzoro;

\connect doruzoro
-- Nobody writes into public; the server keeps its tables in a schema it owns.
REVOKE ALL ON SCHEMA public FROM PUBLIC;
CREATE SCHEMA doruzoro AUTHORIZATION doruzoro;
ALTER ROLE doruzoro IN DATABASE doruzoro SET search_path = doruzoro;
-- A request that waits on a lock or runs away is cut off, not left to pile up.
ALTER ROLE doruzoro IN DATABASE doruzoro SET statement_timeout = '10s';
ALTER ROLE doruzoro IN DATABASE doruzoro SET idle_in_transaction_session_timeout = '30s';
