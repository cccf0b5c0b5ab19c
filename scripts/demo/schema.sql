-- The demo's sample schema: a few tables with typed columns, an identity and a serial key,
-- jsonb and uuid columns, a bytea and a large object, a function and a procedure. Loaded by
-- scripts/demo.sh as the role the shell uses, on a PostgreSQL 15 as users run it.
set client_min_messages = warning;
drop table if exists public.orders, public.products cascade;
drop function if exists public.order_total(int4, int4);
drop procedure if exists public.place_order(int4, varchar, int2, int4, numeric);

create table public.products (
  id int4 generated always as identity primary key,
  name varchar(40) not null,
  price numeric(10,2) not null,
  weight float8,
  in_stock bool not null default true,
  added date,
  description text,
  picture bytea,
  details jsonb
);
create unique index products_name_key on public.products (name);

create table public.orders (
  id serial primary key,
  ref uuid not null default gen_random_uuid(),
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

-- A procedure (called with CALL): places an order and hands back its number and total.
create procedure public.place_order(product int4, who varchar, quantity int2,
                                    out order_id int4, out total numeric)
  language plpgsql as $$
  begin
    total := public.order_total(product, quantity);
    insert into public.orders (product_id, customer, placed, quantity, total_cents)
      values (product, who, localtimestamp(0), quantity, (total * 100)::int8)
      returning id into order_id;
  end
  $$;

insert into public.products (name, price, weight, in_stock, added, description, picture, details) values
  ('Green tea', 4.50, 0.25, true, '2024-03-01', 'Sencha from Shizuoka, first flush', decode('89504e470d0a1a0a', 'hex'),
   '{"origin": "静岡", "harvest": 2024, "grades": ["first flush"]}'),
  ('Teapot', 29.90, 1.2, true, '2023-11-15', E'Cast iron, 0.8 l.\nHand wash only.', null,
   '{"material": "cast iron", "litres": 0.8}'),
  ('Tea towel', 3.99, null, false, null, null, null, null),
  ('玉露 Gyokuro', 12.00, 0.1, true, '2024-04-20', 'Shaded before the harvest', null, '{"origin": "宇治"}');

insert into public.orders (product_id, customer, placed, pickup, quantity, total_cents, invoice) values
  (1, 'Ada', '2024-05-06 07:08:09.5', '17:30', 3, 1350,
   lo_from_bytea(0, convert_to(repeat('Invoice 1: 3 x Green tea. ', 400), 'UTF8'))::oid),
  (2, 'Grace', '2024-05-07 12:00:00', null, 1, 2990, null);
