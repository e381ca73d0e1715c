#pragma once
// The object store classes, for headers that only pass pointers.
class NSAttributeDescription;
class NSEntityDescription;
class NSManagedObjectModel;
class NSPersistentStore;
class NSPersistentStoreCoordinator;
class NSManagedObjectContext;
class NSManagedObject;
class NSManagedObjectID;
class NSFetchRequest;
class NSPredicate;
class NSSortDescriptor;
