/* The sample tables of the built-in sample alias, created on first use. Every sample
   statement of the window runs on them as written: the Add Index sample names the
   employees' LastName and FirstName. */

CREATE TABLE "employee.db"
(
  LAST_NAME CHAR(20),
  FIRST_NAME CHAR(15),
  SALARY NUMERIC(10,2),
  DEPT_NO SMALLINT,
  NOTES BLOB(20,1),
  LastName CHAR(20),
  FirstName CHAR(15),
  PRIMARY KEY(LAST_NAME, FIRST_NAME)
);

CREATE TABLE "dept.db"
(
  DEPT_NO SMALLINT,
  DEPT_NAME CHAR(20),
  LOCATION CHAR(20),
  PRIMARY KEY(DEPT_NO)
);

CREATE TABLE "projects.dbf"
(
  PROJ_ID INTEGER,
  DEPT_NO SMALLINT,
  TITLE CHAR(30),
  BUDGET NUMERIC(12,2),
  STARTED DATE
);

INSERT INTO "dept.db" (DEPT_NO, DEPT_NAME, LOCATION) VALUES (10, 'Sales', 'Harbour Street');
INSERT INTO "dept.db" (DEPT_NO, DEPT_NAME, LOCATION) VALUES (20, 'Research', 'Mill Lane');
INSERT INTO "dept.db" (DEPT_NO, DEPT_NAME, LOCATION) VALUES (30, 'Support', 'Harbour Street');
INSERT INTO "dept.db" (DEPT_NO, DEPT_NAME, LOCATION) VALUES (40, 'Finance', 'Main Square');
INSERT INTO "dept.db" (DEPT_NO, DEPT_NAME, LOCATION) VALUES (50, 'Logistics', 'Depot Road');

INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Adams', 'Ann', 70445.25, 10, 'Team lead since the office opened.', 'Adams', 'Ann');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Baker', 'Bob', 47772.00, 20, NULL, 'Baker', 'Bob');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Clark', 'Carol', 79750.25, 30, NULL, 'Clark', 'Carol');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Davis', 'Dan', 34328.75, 40, 'Part-time on Fridays.', 'Davis', 'Dan');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Evans', 'Eve', 37494.25, 50, NULL, 'Evans', 'Eve');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Fisher', 'Frank', 40337.75, 10, NULL, 'Fisher', 'Frank');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Garcia', 'Gina', 75931.50, NULL, NULL, 'Garcia', 'Gina');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Hughes', 'Hal', 35602.00, 30, 'Transferred from the northern branch.', 'Hughes', 'Hal');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Ingram', 'Iris', 94510.50, 40, NULL, 'Ingram', 'Iris');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Jensen', 'Jon', 56140.75, 50, NULL, 'Jensen', 'Jon');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Keller', 'Kate', 32914.50, 10, NULL, 'Keller', 'Kate');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Lopez', 'Luis', 39265.25, 20, NULL, 'Lopez', 'Luis');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Meyer', 'Mara', 84838.75, 30, 'Speaks four languages.', 'Meyer', 'Mara');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Nolan', 'Ned', 82810.50, 40, NULL, 'Nolan', 'Ned');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Ortiz', 'Olga', 37156.00, 50, NULL, 'Ortiz', 'Olga');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Parker', 'Paul', 59544.00, 10, NULL, 'Parker', 'Paul');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Quinn', 'Quentin', 39889.75, 20, NULL, 'Quinn', 'Quentin');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Reyes', 'Rosa', 83642.50, NULL, NULL, 'Reyes', 'Rosa');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Schmidt', 'Stefan', 35747.50, 40, NULL, 'Schmidt', 'Stefan');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Turner', 'Tina', 44226.75, 50, NULL, 'Turner', 'Tina');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Underwood', 'Uma', 57260.25, 10, 'Mentor for new staff.', 'Underwood', 'Uma');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Vargas', 'Victor', 36108.25, 20, NULL, 'Vargas', 'Victor');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Walsh', 'Wendy', 79993.50, 30, NULL, 'Walsh', 'Wendy');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Young', 'Yusuf', 34499.75, 40, NULL, 'Young', 'Yusuf');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Zimmer', 'Zoe', 56977.50, 50, NULL, 'Zimmer', 'Zoe');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Baker', 'Beth', 34105.50, 10, NULL, 'Baker', 'Beth');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Clark', 'Chris', 45455.25, 20, NULL, 'Clark', 'Chris');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Nolan', 'Nora', 65959.50, 30, NULL, 'Nolan', 'Nora');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Parker', 'Pam', 82937.25, NULL, NULL, 'Parker', 'Pam');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Young', 'Yara', 46907.75, 50, NULL, 'Young', 'Yara');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Hughes', 'Helen', 43439.25, 10, NULL, 'Hughes', 'Helen');
INSERT INTO "employee.db" (LAST_NAME, FIRST_NAME, SALARY, DEPT_NO, NOTES, LastName, FirstName) VALUES ('Meyer', 'Max', 68433.25, 20, NULL, 'Meyer', 'Max');

INSERT INTO "projects.dbf" (PROJ_ID, DEPT_NO, TITLE, BUDGET, STARTED) VALUES (1, 10, 'Spring campaign', 45000.00, '03/02/1998');
INSERT INTO "projects.dbf" (PROJ_ID, DEPT_NO, TITLE, BUDGET, STARTED) VALUES (2, 20, 'Sensor prototype', 120500.50, '11/17/1997');
INSERT INTO "projects.dbf" (PROJ_ID, DEPT_NO, TITLE, BUDGET, STARTED) VALUES (3, 20, 'Field trials', 80250.25, '01/11/1999');
INSERT INTO "projects.dbf" (PROJ_ID, DEPT_NO, TITLE, BUDGET, STARTED) VALUES (4, 30, 'Help desk rollout', 15000.00, '06/01/1998');
INSERT INTO "projects.dbf" (PROJ_ID, DEPT_NO, TITLE, BUDGET, STARTED) VALUES (5, 40, 'Year-end audit', 9999.99, '12/01/1998');
INSERT INTO "projects.dbf" (PROJ_ID, DEPT_NO, TITLE, BUDGET, STARTED) VALUES (6, 50, 'New depot', 250000.00, '04/19/1999');
INSERT INTO "projects.dbf" (PROJ_ID, DEPT_NO, TITLE, BUDGET, STARTED) VALUES (7, 10, 'Trade fair', 32000.75, '09/06/1999');
INSERT INTO "projects.dbf" (PROJ_ID, DEPT_NO, TITLE, BUDGET, STARTED) VALUES (8, 30, 'Call routing', 27500.00, '02/22/1999');
