-- The demo's sample schema: a few tables with typed columns, a serial key, a bytea and a
-- large object, and a function. Loaded by scripts/demo.sh as the role the shell uses.
set client_min_messages = warning;
drop table if exists public.orders, public.products cascade;
drop function if exists public.order_total(int4, int4);

create table public.products (
  id serial primary key,
  name varchar(40) not null,
  price numeric(10,2) not null,
  weight float8,
  in_stock bool not null default true,
  added date,
  description text,
  picture bytea
);
create unique index products_name_key on public.products (name);

create table public.orders (
  id serial primary key,
  product_id int4 not null references public.products (id),
  customer varchar(30) not null,
  placed timestamp not null,
  pickup time,
  quantity int2 not null,
  total_cents int8,
  invoice lo
);
create index orders_customer on public.orders (customer);

create function public.order_total(product int4, quantity int4) returns numeric
  language sql stable as $$
    select price * quantity from public.products where id = product;
  $$;

insert into public.products (name, price, weight, in_stock, added, description, picture) values
  ('Green tea', 4.50, 0.25, true, '2024-03-01', 'Sencha from Shizuoka, first flush', decode('89504e470d0a1a0a', 'hex')),
  ('Teapot', 29.90, 1.2, true, '2023-11-15', E'Cast iron, 0.8 l.\nHand wash only.', null),
  ('Tea towel', 3.99, null, false, null, null, null);

insert into public.orders (product_id, customer, placed, pickup, quantity, total_cents, invoice) values
  (1, 'Ada', '2024-05-06 07:08:09.5', '17:30', 3, 1350,
   lo_from_bytea(0, convert_to(repeat('Invoice 1: 3 x Green tea. ', 400), 'UTF8'))::oid),
  (2, 'Grace', '2024-05-07 12:00:00', null, 1, 2990, null);
