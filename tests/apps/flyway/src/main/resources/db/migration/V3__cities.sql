ALTER TABLE people ADD COLUMN city VARCHAR(40);
UPDATE people SET city = CASE id WHEN 1 THEN 'London' WHEN 2 THEN 'New York' ELSE 'Helsinki' END;
